// The binary contract as the download manager meets it: undecorated
// exports, the slot table, the result record, unknown tasks refused.
#include <gtest/gtest.h>

#include <memory>

#include "engine/engine_harness.h"

namespace enginetest {
namespace {

TEST(EngineContractTest, ExportsAreFoundByTheirUndecoratedNames) {
  EngineLibrary library;
  ASSERT_NE(library.module(), nullptr) << "LoadLibrary failed for the built FetchCore.dll, error " << GetLastError();
  EXPECT_NE(GetProcAddress(library.module(), "GetInstance"), nullptr);
  EXPECT_NE(GetProcAddress(library.module(), "Release"), nullptr);
  // The decorated __stdcall names must not be what callers depend on.
  EXPECT_EQ(GetProcAddress(library.module(), "GetInstance@0"), nullptr);
}

TEST(EngineContractTest, EachInstanceHasTheEightSlotTable) {
  EngineLibrary library;
  ASSERT_TRUE(library.loaded());
  EngineRef a(library), b(library);
  ASSERT_NE(a.get(), nullptr);
  ASSERT_NE(b.get(), nullptr);
  EXPECT_NE(a.get(), b.get());
  const void* const* slots = reinterpret_cast<const void* const*>(a.get()->table);
  for (int i = 0; i < fetch::kSlotCount; ++i) EXPECT_NE(slots[i], nullptr) << "slot " << i;
}

TEST(EngineContractTest, UnknownProductOrTaskFailsEverySlotThatNamesIt) {
  TaskSandbox sandbox;
  sandbox.WriteTask({L"http://127.0.0.1:9/none"}, 10, std::string(64, 'a'));
  EngineLibrary library;
  ASSERT_TRUE(library.loaded());
  EngineRef engine(library);
  auto result = std::make_unique<fetch::Result>();
  EXPECT_EQ(engine.QueryEarlier(result.get(), L"xx"), fetch::kUnknownTask);
  EXPECT_EQ(engine.QueryEarlier(result.get(), L"kv", L"617350002"), fetch::kUnknownTask);
  EXPECT_EQ(engine.CheckStatus(result.get(), L"kv", L"..\\617350001"), fetch::kUnknownTask);
  EXPECT_EQ(engine.Start(sandbox.save_folder(), L"other"), fetch::kUnknownTask);
  // Nothing was started, so the task-less slots refuse as well.
  EXPECT_NE(engine.QueryProgress(result.get()), fetch::kOk);
  EXPECT_NE(engine.Pause(), fetch::kOk);
  EXPECT_NE(engine.Resume(), fetch::kOk);
}

TEST(EngineContractTest, TaskWithoutDigestIsRefused) {
  TaskSandbox sandbox;
  testutil::WriteFileBytes(sandbox.task_dir() + L"\\617350001.task",
                           "name=KorvanInstall.exe\nsize=10\nurl=http://127.0.0.1:9/x\n");
  EngineLibrary library;
  EngineRef engine(library);
  auto result = std::make_unique<fetch::Result>();
  EXPECT_EQ(engine.CheckStatus(result.get()), fetch::kTaskIncomplete);
  EXPECT_EQ(engine.Start(sandbox.save_folder()), fetch::kTaskIncomplete);
}

TEST(EngineContractTest, NoEarlierDownloadGivesAnEmptyPath) {
  TaskSandbox sandbox;
  sandbox.WriteTask({L"http://127.0.0.1:9/none"}, 10, std::string(64, 'a'));
  EngineLibrary library;
  EngineRef engine(library);
  auto result = std::make_unique<fetch::Result>();
  EXPECT_EQ(engine.QueryEarlier(result.get()), fetch::kOk);
  EXPECT_EQ(result->path[0], L'\0');
  EXPECT_EQ(result->completed, 0u);
}

TEST(EngineContractTest, UnreachableSourceFailsTheStatusCheck) {
  TaskSandbox sandbox;
  // Port 9 (discard) has no listener on the test machine.
  sandbox.WriteTask({L"http://127.0.0.1:9/none"}, 10, std::string(64, 'a'));
  EngineLibrary library;
  EngineRef engine(library);
  auto result = std::make_unique<fetch::Result>();
  EXPECT_EQ(engine.CheckStatus(result.get()), fetch::kSourceUnreachable);
}

}  // namespace
}  // namespace enginetest
