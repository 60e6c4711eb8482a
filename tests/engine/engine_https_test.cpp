// Sources over TLS, through the platform's library: a certificate nothing
// vouches for fails the source (and the next source serves), one issued by
// an authority the machine trusts carries a ranged download like plain http.
#include <windows.h>

#include <wincrypt.h>

#include <gtest/gtest.h>

#include <memory>

#include "common/test_servers.h"
#include "engine/engine_harness.h"

namespace enginetest {
namespace {

std::wstring Env(const wchar_t* name) {
  wchar_t value[MAX_PATH] = L"";
  const DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH);
  return n > 0 && n < MAX_PATH ? value : L"";
}

class EngineHttpsTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    ASSERT_TRUE(testutil::TestNginx::Available(&why)) << why;
    ASSERT_TRUE(library_.loaded()) << "FetchCore.dll not loaded";
    ASSERT_FALSE(Env(L"KV_TEST_HTTPS_PORT").empty()) << "the test nginx has no TLS ports (scripts/test sets them)";
    name_ = L"engine_tls_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount()) + L".bin";
  }
  void TearDown() override { DeleteFileW((testutil::TestNginx::Www() + L"\\" + name_).c_str()); }

  void Publish(const std::string& bytes) {
    ASSERT_TRUE(testutil::WriteFileBytes(testutil::TestNginx::Www() + L"\\" + name_, bytes));
  }
  std::wstring Url(const wchar_t* scheme, const std::wstring& port) const {
    return std::wstring(scheme) + L"://127.0.0.1:" + port + L"/" + name_;
  }

  // The tests' authority in this Wine prefix's root store (the user's; the
  // machine's trust is never touched).
  static bool TrustTheTestAuthority() {
    const std::string der = testutil::ReadFileBytes(Env(L"KV_TEST_CA_DER"));
    if (der.empty()) return false;
    return CertAddEncodedCertificateToSystemStoreW(L"Root", reinterpret_cast<const BYTE*>(der.data()),
                                                   static_cast<DWORD>(der.size())) != FALSE;
  }

  EngineLibrary library_;
  std::wstring name_;
};

TEST_F(EngineHttpsTest, AnUntrustedCertificateFailsTheSourceAndTheNextSourceServes) {
  const std::string body = RandomBytes(2 * 1024 * 1024 + 99, 31);
  Publish(body);
  const std::wstring untrusted = Url(L"https", Env(L"KV_TEST_HTTPS_UNTRUSTED_PORT"));
  {
    TaskSandbox sandbox;
    sandbox.WriteTask({untrusted}, body.size(), Sha256Hex(body), "retry_limit=1\n");
    EngineRef engine(library_);
    auto status = std::make_unique<fetch::Result>();
    EXPECT_NE(engine.CheckStatus(status.get()), fetch::kOk) << "a self-signed certificate was accepted";
  }
  TaskSandbox sandbox;
  sandbox.WriteTask({untrusted, Url(L"http", std::to_wstring(testutil::TestNginx::Port()))}, body.size(),
                    Sha256Hex(body), "retry_limit=1\n");
  EngineRef engine(library_);
  ASSERT_EQ(engine.Start(sandbox.save_folder()), fetch::kOk);
  auto result = std::make_unique<fetch::Result>();
  ASSERT_EQ(engine.WaitForEnd(60000, result.get()), fetch::kOk);
  EXPECT_TRUE(testutil::ReadFileBytes(sandbox.FinalPath()) == body);
}

TEST_F(EngineHttpsTest, ATrustedServerCarriesARangedDownloadOverTls) {
  ASSERT_TRUE(TrustTheTestAuthority()) << GetLastError();
  const std::string body = RandomBytes(12 * 1024 * 1024 + 4321, 32);
  Publish(body);
  TaskSandbox sandbox;
  sandbox.WriteTask({Url(L"https", Env(L"KV_TEST_HTTPS_PORT"))}, body.size(), Sha256Hex(body),
                    "connections=4\nretry_limit=1\n");
  const size_t log_offset = testutil::TestNginx::AccessLogSize();

  EngineRef engine(library_);
  auto status = std::make_unique<fetch::Result>();
  ASSERT_EQ(engine.CheckStatus(status.get()), fetch::kOk);
  EXPECT_EQ(status->total, static_cast<int64_t>(body.size()));
  ASSERT_EQ(engine.Start(sandbox.save_folder()), fetch::kOk);
  auto result = std::make_unique<fetch::Result>();
  ASSERT_EQ(engine.WaitForEnd(60000, result.get()), fetch::kOk);
  EXPECT_EQ(result->received, static_cast<int64_t>(body.size()));
  EXPECT_TRUE(testutil::ReadFileBytes(sandbox.FinalPath()) == body) << "final file differs from the source";

  EXPECT_GE(DistinctRangesServed(log_offset, name_), 3u) << "the connections did not share the file";
}

TEST_F(EngineHttpsTest, ShutDownIsQuickOverTlsAndTheNextEngineFinishesTheFile) {
  ASSERT_TRUE(TrustTheTestAuthority()) << GetLastError();
  const std::string body = RandomBytes(24 * 1024 * 1024, 33);
  const std::wstring dir = testutil::TestNginx::Www() + L"\\slow";
  CreateDirectoryW(dir.c_str(), nullptr);
  ASSERT_TRUE(testutil::WriteFileBytes(dir + L"\\" + name_, body));
  TaskSandbox sandbox;
  sandbox.WriteTask({L"https://127.0.0.1:" + Env(L"KV_TEST_HTTPS_PORT") + L"/slow/" + name_}, body.size(),
                    Sha256Hex(body), "connections=4\n");
  {
    EngineRef engine(library_);
    ASSERT_EQ(engine.Start(sandbox.save_folder()), fetch::kOk);
    // Each connection gets 2 MiB/s: the transfer is well under way, far
    // from done.
    ASSERT_TRUE(engine.WaitForReceived(4 * 1024 * 1024, 60000));
    const ULONGLONG before = GetTickCount64();
    EXPECT_EQ(engine.ShutDown(), fetch::kOk);
    // Promised: 2 s; the bound leaves room for a loaded machine.
    EXPECT_LT(GetTickCount64() - before, 4000u);
  }
  EXPECT_FALSE(testutil::FileExists(sandbox.FinalPath()));
  EngineRef later(library_);
  ASSERT_EQ(later.Start(sandbox.save_folder()), fetch::kOk);
  auto result = std::make_unique<fetch::Result>();
  ASSERT_EQ(later.WaitForEnd(90000, result.get()), fetch::kOk);
  EXPECT_TRUE(testutil::ReadFileBytes(sandbox.FinalPath()) == body);
  DeleteFileW((dir + L"\\" + name_).c_str());
}

}  // namespace
}  // namespace enginetest
