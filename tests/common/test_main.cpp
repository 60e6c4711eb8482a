// Entry of every test program: the test thread is the user-interface thread,
// with the toolkit's timer window, as in the program.
#include <objbase.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "log/log.h"
#include "upp/toolkit.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  CoInitialize(nullptr);
  Upp::InitToolkit(GetModuleHandleW(nullptr));
  // Log statements of the code under test stay out of the test output.
  COutput2FILE::Target() = nullptr;
  int result = RUN_ALL_TESTS();
  Upp::ShutdownToolkit();
  CoUninitialize();
  return result;
}
