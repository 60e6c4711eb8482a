// The whole road of a download through the real program: the engine it
// unpacks fetches the (demo) installer from the loopback nginx, the file is
// checked, the installer starts exactly once and the program exits 0, with
// the funnel's reports in nginx's log; a transfer killed midway resumes by
// itself on the next start; pause and resume by real clicks; a server that
// is down, then back; a transfer that breaks off with an older installer in
// the install folder starts nothing until the retry brings the new one.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/config_manager.h"
#include "base/file_util.h"
#include "base/process_util.h"
#include "common/test_servers.h"
#include "common/test_util.h"
#include "engine/scripted_server.h"
#include "program/program_driver.h"
#include "ui/screen_capture.h"
#include "upp/image_decode.h"

namespace {

using namespace programtest;

// The action button (start, pause, resume, retry share one place) and the
// status line up to where the (always red) promotion text may begin,
// relative to the main window.
constexpr POINT kActionButton = {563, 362};
constexpr RECT kStatusLine = {56, 403, 400, 418};

// One report of the funnel as nginx logged it.
struct Report {
  std::string mid;
  int status = 0;
  std::string first_time;
};

std::string QueryValue(const std::string& uri, const std::string& key) {
  const std::string needle = key + "=";
  for (size_t at = uri.find('?'); at != std::string::npos; at = uri.find('&', at)) {
    ++at;
    if (uri.compare(at, needle.size(), needle) == 0) {
      const size_t end = uri.find('&', at);
      return uri.substr(at + needle.size(), end == std::string::npos ? std::string::npos : end - at - needle.size());
    }
  }
  return std::string();
}

// Reports logged after `offset`, waiting up to a few seconds for at least
// `expected` (they are sent in the background); empty when the test server
// does not listen on the statistics port (`served` false).
std::vector<Report> ReportsSince(size_t offset, size_t expected, bool* served) {
  std::vector<Report> reports;
  char port[16] = "";
  *served = GetEnvironmentVariableA("KV_TEST_STATS_PORT", port, sizeof(port)) > 0;
  if (!*served) return reports;
  std::vector<testutil::NginxLogLine> lines;
  testutil::TestNginx::WaitForLogLines(
      offset, [](const testutil::NginxLogLine& l) { return l.uri.find("/b/duan/s/ginstall/?") == 0; }, expected, 5000,
      &lines);
  for (const auto& l : lines) {
    Report r;
    r.mid = QueryValue(l.uri, "mid");
    r.status = atoi(QueryValue(l.uri, "status").c_str());
    r.first_time = QueryValue(l.uri, "first_time");
    reports.push_back(r);
  }
  return reports;
}

int CountOf(const std::wstring& text, const std::wstring& what) {
  int n = 0;
  for (size_t at = 0; (at = text.find(what, at)) != std::wstring::npos; at += what.size()) ++n;
  return n;
}

// A loopback port nothing listens on (for now).
int UnusedPort() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr = {};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int len = sizeof(addr);
  int port = 0;
  if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
    port = ntohs(addr.sin_port);
  }
  closesocket(s);
  return port;
}

std::wstring BuiltProgram() { return testutil::TestBinDir() + L"\\..\\..\\KVDownloader.exe"; }

int CountStarts(const std::string& marker) {
  int n = 0;
  for (size_t at = 0; (at = marker.find("started ", at)) != std::string::npos; at += 8) ++n;
  return n;
}

class DownloadProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!testutil::TestNginx::Available(&why)) GTEST_SKIP() << why;
    exe_ = dir_.Join(L"KVDownloader.exe");
    ASSERT_TRUE(CopyFileW(BuiltProgram().c_str(), exe_.c_str(), FALSE)) << GetLastError();
    ASSERT_TRUE(testutil::WriteFileBytes(dir_.Join(L"log.ini"), "[log]\r\nlevel=1\r\n"));
    // Where the program will put the installer: the same rule, same drives.
    install_dir_ = korvan::ConfigManager().GetInstallDir();
    base::RemoveFolderTree(install_dir_);
    SetEnvironmentVariableW(L"KV_FETCHCORE_TASK_DIR", dir_.Join(L"task").c_str());
    SetEnvironmentVariableW(L"KV_FETCHCORE_HOME", dir_.Join(L"home").c_str());
    SetEnvironmentVariableW(L"KORVAN_DEMO_INSTALLER_EXIT", L"1");
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"KV_FETCHCORE_TASK_DIR", nullptr);
    SetEnvironmentVariableW(L"KV_FETCHCORE_HOME", nullptr);
    SetEnvironmentVariableW(L"KORVAN_DEMO_INSTALLER_EXIT", nullptr);
    EndUnpackingTools();
    if (!install_dir_.empty()) base::RemoveFolderTree(install_dir_);
    if (!served_.empty()) DeleteFileW(served_.c_str());
  }

  // The demo installer padded to `mib` MiB (an overlay: still runnable).
  static std::string InstallerBytes(int mib) {
    std::string bytes = testutil::ReadFileBytes(KV_DEMO_INSTALLER_PLAIN);
    if (!bytes.empty()) bytes.resize(static_cast<size_t>(mib) << 20, '\0');
    return bytes;
  }

  // Writes the engine's task: `bytes` fetched from `url`.
  void WriteTask(const std::wstring& url, const std::string& bytes, const std::string& extra = "") {
    std::string task = "product=kv\nname=KorvanInstall.exe\nsize=" + std::to_string(bytes.size()) +
                       "\nsha256=" + testutil::Sha256Hex(bytes) + "\nurl=" + std::string(url.begin(), url.end()) +
                       "\n" + extra;
    CreateDirectoryW(dir_.Join(L"task").c_str(), nullptr);
    ASSERT_TRUE(testutil::WriteFileBytes(dir_.Join(L"task\\617350001.task"), task));
    ASSERT_TRUE(testutil::WriteFileBytes(dir_.Join(L"task\\id.dat"), "617350001=kv\n"));
  }

  // Serves the demo installer padded to `mib` MiB under `folder` of the
  // test nginx ("slow/" is rate-limited) and writes the engine's task.
  void ServeInstaller(const std::wstring& folder, int mib) {
    const std::string bytes = InstallerBytes(mib);
    ASSERT_FALSE(bytes.empty());
    const std::wstring name = L"e2e_" + std::to_wstring(GetCurrentProcessId()) + L".exe";
    const std::wstring dir = testutil::TestNginx::Www() + L"\\" + folder;
    CreateDirectoryW(dir.c_str(), nullptr);
    served_ = dir + L"\\" + name;
    ASSERT_TRUE(testutil::WriteFileBytes(served_, bytes));
    WriteTask(testutil::TestNginx::BaseUrl() + L"/" + folder + L"/" + name, bytes);
  }

  void ClickAction() {
    RECT m = {};
    GetWindowRect(main_, &m);
    ClickAt(m.left + kActionButton.x, m.top + kActionButton.y);
  }

  bool LogSays(const std::wstring& what, DWORD timeout_ms) {
    return testutil::PumpUntil([&] { return ProgramLog().find(what) != std::wstring::npos; }, timeout_ms);
  }

  // The progress part of the panel as the screen shows it: speed, size, bar
  // and percentage (not the action button, not the status line).
  Upp::Image ProgressPicture() {
    RECT m = {};
    GetWindowRect(main_, &m);
    const RECT r = {m.left + 37, m.top + 328, m.left + 488, m.top + 400};
    return uitest::CaptureScreen(r);
  }

  static bool SamePicture(const Upp::Image& a, const Upp::Image& b) {
    if (a.IsEmpty() || a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight()) return false;
    for (int y = 0; y < a.GetHeight(); ++y)
      for (int x = 0; x < a.GetWidth(); ++x) {
        const Upp::RGBA p = a.At(x, y), q = b.At(x, y);
        if (p.r != q.r || p.g != q.g || p.b != q.b) return false;
      }
    return true;
  }

  // Pixels of pure-looking red on the status line, as the screen shows it.
  int RedOnTheStatusLine() {
    RECT m = {};
    GetWindowRect(main_, &m);
    const RECT r = {m.left + kStatusLine.left, m.top + kStatusLine.top, m.left + kStatusLine.right,
                    m.top + kStatusLine.bottom};
    const Upp::Image shot = uitest::CaptureScreen(r);
    int red = 0;
    for (int y = 0; y < shot.GetHeight(); ++y)
      for (int x = 0; x < shot.GetWidth(); ++x) {
        const Upp::RGBA p = shot.At(x, y);
        red += p.r > 200 && p.g < 60 && p.b < 60;
      }
    return red;
  }

  void StartShown(Program& p) {
    ASSERT_TRUE(p.Start(exe_));
    ASSERT_TRUE(testutil::PumpUntil([&] { return (main_ = MainWindowOf(p.pid())) && IsWindowVisible(main_); },
                                    30000))
        << "no main window";
  }

  // Presses the start button until the transfer job has made the install
  // folder (the status check may still be running at the first press; the
  // panel ignores presses less than a second apart).
  bool PressStartUntilTheDownloadBegins() {
    for (int attempt = 0; attempt < 15; ++attempt) {
      ClickAction();
      if (testutil::PumpUntil([&] { return testutil::FolderExists(install_dir_); }, 2000)) return true;
    }
    return false;
  }

  // For a failure message: what lies under the action button, whether the
  // program's window thread answers, and the end of its log.
  std::wstring PressReport() {
    RECT m = {};
    GetWindowRect(main_, &m);
    const POINT at = {m.left + kActionButton.x, m.top + kActionButton.y};
    DWORD_PTR ignored = 0;
    const bool answers = SendMessageTimeoutW(main_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored) != 0;
    std::wostringstream out;
    out << L"under the button: " << WindowFromPoint(at) << L" (main " << main_ << L"), foreground "
        << GetForegroundWindow() << L", window thread answers " << answers << L"; log ends:\n";
    const std::wstring log = ProgramLog();
    size_t from = log.size();
    for (int lines = 0; lines < 12 && from != std::wstring::npos && from > 0; ++lines) {
      from = log.rfind(L'\n', from - 1);
    }
    out << log.substr(from == std::wstring::npos ? 0 : from);
    return out.str();
  }

  std::wstring ProgramLog() {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(dir_.Join(L"kv_downloader_log_*.txt").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return std::wstring();
    FindClose(h);
    return testutil::ReadUtf16File(dir_.Join(found.cFileName));
  }

  testutil::ScopedTempDir dir_;
  std::wstring exe_, install_dir_, served_;
  HWND main_ = nullptr;
};

TEST_F(DownloadProgramTest, NewDownloadIsCheckedStartsTheInstallerOnceAndExits) {
  ServeInstaller(L"", 6);
  const size_t log_offset = testutil::TestNginx::AccessLogSize();
  Program p;
  StartShown(p);
  ASSERT_TRUE(PressStartUntilTheDownloadBegins()) << "the download never began";
  EXPECT_EQ(0u, p.WaitExit(90000)) << "the program did not finish by itself";

  const std::string marker = testutil::ReadFileBytes(install_dir_ + L"\\KorvanInstall.log");
  EXPECT_EQ(1, CountStarts(marker)) << marker;
  const std::string channel = testutil::ReadFileBytes(install_dir_ + L"\\KV_DATA0.bin");
  EXPECT_NE(std::string::npos, channel.find("KV_DOWNLOADER")) << "no channel file for the installer";
  const std::wstring log = ProgramLog();
  EXPECT_NE(std::wstring::npos, log.find(L"下载完成")) << "no completion in the log";

  // The funnel: launched, started afresh, finished, installer step; one
  // machine throughout.
  bool served = false;
  const std::vector<Report> reports = ReportsSince(log_offset, 4, &served);
  if (!served) GTEST_SKIP() << "another server holds the statistics port; reports not checked";
  std::map<int, int> count;
  for (const Report& r : reports) {
    ++count[r.status];
    EXPECT_EQ(32u, r.mid.size()) << r.mid;
    EXPECT_EQ(reports[0].mid, r.mid);
    if (r.status == 8) {
      EXPECT_EQ("1", r.first_time);
    }
  }
  // Launch reports of copies the earlier program tests started may still
  // come in (one clean run logged four); the download's own steps cannot.
  EXPECT_GE(count[7], 1);
  EXPECT_EQ(1, count[8]);
  EXPECT_EQ(1, count[9]);
  EXPECT_EQ(1, count[10]);
}

TEST_F(DownloadProgramTest, TransferKilledMidwayResumesByItselfOnTheNextStart) {
  ServeInstaller(L"slow", 96);
  const std::wstring partial_dir = install_dir_;
  {
    Program first;
    StartShown(first);
    ASSERT_TRUE(PressStartUntilTheDownloadBegins());
    // Let a few MiB arrive (each connection gets 2 MiB/s), then end the
    // process the hard way, long before the whole file is in.
    ASSERT_TRUE(testutil::PumpUntil(
        [&] {
          const std::wstring log = ProgramLog();
          return log.find(L"启动下载成功") != std::wstring::npos;
        },
        30000));
    testutil::PumpFor(1000);
    ASSERT_TRUE(first.Running()) << "the transfer ended before it could be killed";
    first.Kill();
  }
  EXPECT_EQ(0, CountStarts(testutil::ReadFileBytes(partial_dir + L"\\KorvanInstall.log")));

  const size_t log_offset = testutil::TestNginx::AccessLogSize();
  Program second;
  StartShown(second);
  // No press: an earlier download resumes 500 ms after its status is known.
  EXPECT_EQ(0u, second.WaitExit(120000)) << "the resumed download did not finish by itself";
  EXPECT_EQ(1, CountStarts(testutil::ReadFileBytes(install_dir_ + L"\\KorvanInstall.log")));
  const std::wstring log = ProgramLog();
  EXPECT_NE(std::wstring::npos, log.find(L"发现上次下载信息")) << "the earlier download was not found";

  bool served = false;
  const std::vector<Report> reports = ReportsSince(log_offset, 4, &served);
  if (!served) GTEST_SKIP() << "another server holds the statistics port; reports not checked";
  int resumed = 0;
  for (const Report& r : reports) {
    if (r.status == 8) {
      EXPECT_EQ("0", r.first_time) << "a resumed download reported as a first one";
      ++resumed;
    }
  }
  EXPECT_EQ(1, resumed);
}

TEST_F(DownloadProgramTest, PauseAndResumeByRealClicksAndTwoQuickPressesCountOnce) {
  // Served slowly until the test has paused and resumes, so the transfer
  // outlasts however long the program takes to handle the presses.
  const std::string bytes = InstallerBytes(24);
  ASSERT_FALSE(bytes.empty());
  std::atomic<bool> full_speed(false);
  enginetest::ScriptedServer server(
      [&bytes, &full_speed](enginetest::ServerConn& conn, const enginetest::ServedRequest& request) {
        enginetest::ServeOptions paced;
        paced.bytes_per_second = 64 * 1024;
        paced.full_speed = &full_speed;
        enginetest::ServeFile(conn, request, bytes, paced);
      });
  ASSERT_TRUE(server.Start());
  WriteTask(L"http://127.0.0.1:" + std::to_wstring(server.port()) + L"/KorvanInstall.exe", bytes);
  Program p;
  StartShown(p);
  ASSERT_TRUE(PressStartUntilTheDownloadBegins());
  ASSERT_TRUE(LogSays(L"启动下载成功", 30000));
  testutil::PumpFor(1500);  // past the guard of the last start press
  ASSERT_TRUE(p.Running());
  // While the transfer runs, the figures move (a report comes every second;
  // on a fresh Wine prefix the program's first ten or so seconds can pass
  // without a repaint).
  const Upp::Image running = ProgressPicture();
  ASSERT_TRUE(testutil::PumpUntil([&] { return !SamePicture(running, ProgressPicture()); }, 20000))
      << "no visible progress before the pause";

  // A double press on "pause": the second, within the second, is no resume.
  ClickAction();
  testutil::PumpFor(250);
  ClickAction();
  // On a fresh Wine prefix the program can take many seconds to handle a
  // press (seen in clean runs); the presses wait in its queue meanwhile.
  ASSERT_TRUE(LogSays(L"下载暂停成功", 30000)) << PressReport();
  // Long enough for the bar's last move (2 s after the last figure) to end.
  testutil::PumpFor(3000);
  std::wstring log = ProgramLog();
  EXPECT_EQ(1, CountOf(log, L"下载暂停成功"));
  EXPECT_EQ(0, CountOf(log, L"恢复下载成功")) << "the second quick press resumed";
  EXPECT_EQ(0, CountOf(log, L"调用暂停无效")) << "the second quick press reached the download";
  EXPECT_TRUE(p.Running());

  // Paused, the figures stand still; one press resumes.
  const Upp::Image paused = ProgressPicture();
  testutil::PumpFor(1500);
  EXPECT_TRUE(SamePicture(paused, ProgressPicture())) << "the progress moved while paused";
  EXPECT_TRUE(p.Running());
  full_speed = true;
  ClickAction();
  EXPECT_TRUE(LogSays(L"恢复下载成功", 30000)) << PressReport();
  EXPECT_EQ(0u, p.WaitExit(100000)) << "the resumed download did not finish";
  EXPECT_EQ(1, CountStarts(testutil::ReadFileBytes(install_dir_ + L"\\KorvanInstall.log")));
}

TEST_F(DownloadProgramTest, ServerDownShowsTheErrorInRedAndRetryCompletesOnceItIsBack) {
  const std::string bytes = InstallerBytes(6);
  ASSERT_FALSE(bytes.empty());
  const int port = UnusedPort();
  ASSERT_NE(0, port);
  WriteTask(L"http://127.0.0.1:" + std::to_wstring(port) + L"/KorvanInstall.exe", bytes, "retry_limit=1\n");
  Program p;
  StartShown(p);
  ASSERT_TRUE(LogSays(L"下载状态检查失败", 60000)) << "no failure while the server is down";
  EXPECT_TRUE(testutil::PumpUntil([&] { return RedOnTheStatusLine() > 20; }, 10000))
      << "the error is not shown in red";
  EXPECT_TRUE(p.Running());

  enginetest::ScriptedServer server(
      [&bytes](enginetest::ServerConn& conn, const enginetest::ServedRequest& request) {
        enginetest::ServeFile(conn, request, bytes);
      });
  ASSERT_TRUE(server.Start(port)) << "could not bring the server back on port " << port;
  // Retry sits where start was; a press the guard swallows is pressed again.
  bool started = false;
  for (int attempt = 0; attempt < 5 && !started; ++attempt) {
    ClickAction();
    started = LogSays(L"启动下载成功", 3000);
  }
  ASSERT_TRUE(started) << "the retry did not start the download; " << PressReport();
  EXPECT_EQ(0u, p.WaitExit(90000)) << "the retried download did not finish";
  EXPECT_EQ(1, CountStarts(testutil::ReadFileBytes(install_dir_ + L"\\KorvanInstall.log")));
}

// --- what the user sees in each state ---

// The action button's rectangle and the status line, in the main window.
constexpr RECT kActionRect = {488, 333, 488 + 151, 333 + 59};
constexpr int kStatusLeft = 56;

// The state texts of the status line, in the skin font "normal_ft"
// (微软雅黑, 12 pixels, as the skin manager makes it) and TextGreen.
const wchar_t* const kTextChecking = L"正正在获取下载信息，即将开始下载";
const wchar_t* const kTextReady = L"请点击“开始下载”将为您加速下载《Korvan》";
const wchar_t* const kTextDownloading = L"正在为您下载游戏，下载需要花费一定时间，请耐心等待";
const wchar_t* const kTextVerifying = L"文件下载完成，正在验证文件完整性";
const wchar_t* const kTextFinished = L"游戏下载完成，请点击“开始安装”开始按装《Korvan》";

// Which pixels of a picture are ink: a plain bit mask.
struct Mask {
  int width = 0, height = 0;
  std::vector<uint8_t> bits;
  bool At(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height && bits[y * width + x]; }
  bool operator==(const Mask& o) const { return width == o.width && height == o.height && bits == o.bits; }
};

// `text` as the program's font draws it (the skin font "normal_ft": 微软雅黑,
// 12 pixels, normal weight, made the skin manager's way), white on black.
Mask TextMask(const std::wstring& text) {
  LOGFONTW lf = {};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
  lstrcpynW(lf.lfFaceName, L"\u5FAE\u8F6F\u96C5\u9ED1", LF_FACESIZE);
  lf.lfHeight = -12;
  lf.lfWeight = FW_NORMAL;
  lf.lfUnderline = FALSE;
  Mask mask;
  mask.width = 460;
  mask.height = 20;
  mask.bits.assign(static_cast<size_t>(mask.width) * mask.height, 0);
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = mask.width;
  bi.bmiHeader.biHeight = -mask.height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  void* pixels = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &pixels, nullptr, 0);
  HFONT font = CreateFontIndirectW(&lf);
  if (dc && bitmap && font && pixels) {
    HGDIOBJ old_bitmap = SelectObject(dc, bitmap);
    HGDIOBJ old_font = SelectObject(dc, font);
    PatBlt(dc, 0, 0, mask.width, mask.height, BLACKNESS);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    TextOutW(dc, 0, 0, text.c_str(), static_cast<int>(text.size()));
    GdiFlush();
    const auto* p = static_cast<const uint8_t*>(pixels);
    for (int i = 0; i < mask.width * mask.height; ++i)
      mask.bits[i] = std::max({p[4 * i], p[4 * i + 1], p[4 * i + 2]}) > 110;
    SelectObject(dc, old_font);
    SelectObject(dc, old_bitmap);
  }
  if (font) DeleteObject(font);
  if (bitmap) DeleteObject(bitmap);
  if (dc) DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return mask;
}

// How well `text` covers the ink on screen: the best intersection over
// union over small shifts (where the line sits inside its control).
double Overlap(const Mask& screen, const Mask& text) {
  double best = 0;
  for (int dy = -4; dy <= 8; ++dy)
    for (int dx = -3; dx <= 3; ++dx) {
      int both = 0, either = 0;
      for (int y = 0; y < screen.height; ++y)
        for (int x = 0; x < screen.width; ++x) {
          const bool a = screen.At(x, y), b = text.At(x - dx, y - dy);
          both += a && b;
          either += a || b;
        }
      if (either > 0) best = std::max(best, double(both) / either);
    }
  return best;
}

// One look at the window: which skin button the action place shows
// ("" for none of them) and the green ink of the status line.
struct Face {
  std::string button;
  Mask ink;
  bool operator==(const Face& o) const { return button == o.button && ink == o.ink; }
};

class StateFacesProgramTest : public DownloadProgramTest {
 protected:
  void SetUp() override {
    DownloadProgramTest::SetUp();
    if (IsSkipped()) return;
    for (const char* name : {"download_begin", "pause", "install", "resume", "retry"}) {
      std::vector<Upp::Image> looks;
      for (int i = 1; i <= 2; ++i) {
        std::wstring file = std::wstring(KV_SKIN_SOURCE_DIR) + L"\\btn_";
        for (const char* c = name; *c; ++c) file += static_cast<wchar_t>(*c);
        file += L"_" + std::to_wstring(i) + L".png";
        looks.push_back(Upp::LoadImageFile(file));
        ASSERT_FALSE(looks.back().IsEmpty()) << name;
      }
      looks_[name] = looks;
    }
  }

  static bool Shows(const Upp::Image& shot, const Upp::Image& look) {
    if (!(shot.GetSize() == look.GetSize())) return false;
    int opaque = 0, same = 0;
    for (int y = 0; y < look.GetHeight(); y += 2)
      for (int x = 0; x < look.GetWidth(); x += 2) {
        const Upp::RGBA a = look.At(x, y), b = shot.At(x, y);
        if (a.a != 255) continue;
        ++opaque;
        same += abs(a.r - b.r) <= 3 && abs(a.g - b.g) <= 3 && abs(a.b - b.b) <= 3;
      }
    return opaque > 0 && same >= opaque * 9 / 10;
  }

  Face Look() {
    RECT m = {};
    GetWindowRect(main_, &m);
    Face face;
    const Upp::Image button = uitest::CaptureScreen(
        {m.left + kActionRect.left, m.top + kActionRect.top, m.left + kActionRect.right, m.top + kActionRect.bottom});
    for (const auto& [name, looks] : looks_)
      for (const Upp::Image& look : looks)
        if (face.button.empty() && Shows(button, look)) face.button = name;
    const Upp::Image status = uitest::CaptureScreen(
        {m.left + kStatusLeft, m.top + kStatusLine.top - 3, m.left + kStatusLeft + 460, m.top + kStatusLine.top + 17});
    face.ink.width = status.GetWidth();
    face.ink.height = status.GetHeight();
    face.ink.bits.assign(static_cast<size_t>(face.ink.width) * face.ink.height, 0);
    for (int y = 0; y < status.GetHeight(); ++y)
      for (int x = 0; x < status.GetWidth(); ++x) {
        const Upp::RGBA p = status.At(x, y);  // TextGreen #22b21a, give or take the smoothing
        face.ink.bits[y * face.ink.width + x] = p.g > 110 && p.g > p.r + 50 && p.g > p.b + 50;
      }
    return face;
  }

  // Whether the green ink is `text` (with 0-3 cycling dots when it
  // animates): the same glyphs in the same places, not just some green.
  bool Says(const Face& f, const wchar_t* text, bool animated) {
    for (int dots = 0; dots <= (animated ? 3 : 0); ++dots) {
      const std::wstring full = text + std::wstring(dots, L'.');
      auto it = masks_.find(full);
      if (it == masks_.end()) it = masks_.emplace(full, TextMask(full)).first;
      if (Overlap(f.ink, it->second) >= 0.6) return true;
    }
    return false;
  }

  // Samples the window until `done` holds or `ms` pass; returns every
  // distinct face seen, in order.
  template <class Done>
  std::vector<Face> Watch(DWORD ms, Done done) {
    std::vector<Face> seen;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms && IsWindow(main_)) {
      const Face f = Look();
      if (IsWindow(main_) && (seen.empty() || !(seen.back() == f))) seen.push_back(f);
      if (done(f)) break;
      testutil::PumpFor(40);
    }
    return seen;
  }

  static std::string Describe(const std::vector<Face>& faces) {
    std::ostringstream out;
    for (const Face& f : faces) {
      int ink = 0;
      for (uint8_t b : f.ink.bits) ink += b;
      out << "[" << (f.button.empty() ? "-" : f.button) << " " << ink << "] ";
    }
    return out.str();
  }

  std::map<std::string, std::vector<Upp::Image>> looks_;
  std::map<std::wstring, Mask> masks_;
};

TEST_F(StateFacesProgramTest, OnePressAndEachStateShowsItsButtonAndText) {
  ServeInstaller(L"", 128);
  Program p;
  StartShown(p);
  // States 1 and 2: the checking text; then state 3: the start button and
  // its text. Only then the one press.
  std::vector<Face> seen = Watch(60000, [this](const Face& f) {
    return f.button == "download_begin" && Says(f, kTextReady, false);
  });
  ASSERT_FALSE(seen.empty());
  ASSERT_TRUE(seen.back().button == "download_begin" && Says(seen.back(), kTextReady, false))
      << "never ready to start: " << Describe(seen);
  bool checking = false;
  for (const Face& f : seen) checking = checking || Says(f, kTextChecking, true);
  EXPECT_TRUE(checking) << "the checking text never showed: " << Describe(seen);

  ClickAction();
  RECT m = {};
  GetWindowRect(main_, &m);
  MouseAt(m.left + 300, m.top + 200, 0);  // off the button: its normal look

  // 5/6: pause and the downloading text; 7: pause and the verifying text;
  // 9: install and the finished text. The program then starts the
  // installer and ends.
  // Pieces are checked while they arrive, so state 7 may pass between two
  // looks; when it shows, it shows the pause button.
  seen = Watch(120000, [](const Face&) { return false; });
  bool downloading = false, finished = false;
  for (const Face& f : seen) {
    downloading = downloading || (f.button == "pause" && Says(f, kTextDownloading, true));
    finished = finished || (f.button == "install" && Says(f, kTextFinished, false));
    if (Says(f, kTextVerifying, true)) EXPECT_EQ("pause", f.button) << Describe(seen);
  }
  EXPECT_TRUE(downloading) << Describe(seen);
  EXPECT_TRUE(finished) << Describe(seen);
  EXPECT_EQ(0u, p.WaitExit(30000)) << "the program did not finish by itself";
  // Exactly one press reached the download.
  EXPECT_EQ(1, CountOf(ProgramLog(), L"启动下载成功"));
  EXPECT_EQ(1, CountStarts(testutil::ReadFileBytes(install_dir_ + L"\\KorvanInstall.log")));
}

// A file that fails its check (state 11): retry restarts the program, a new
// copy of the same file comes up and the old one ends on its own.
TEST_F(DownloadProgramTest, RetryAfterAFailedCheckRestartsTheProgram) {
  const std::string bytes = InstallerBytes(6);
  ASSERT_FALSE(bytes.empty());
  std::string tampered = bytes;
  tampered[tampered.size() / 2] ^= 0x5A;
  enginetest::ScriptedServer server(
      [&tampered](enginetest::ServerConn& conn, const enginetest::ServedRequest& request) {
        enginetest::ServeFile(conn, request, tampered);
      });
  ASSERT_TRUE(server.Start());
  WriteTask(L"http://127.0.0.1:" + std::to_wstring(server.port()) + L"/KorvanInstall.exe", bytes, "retry_limit=1\n");
  Program p;
  StartShown(p);
  ASSERT_TRUE(PressStartUntilTheDownloadBegins());
  ASSERT_TRUE(LogSays(L"启动下载成功", 30000));
  // Let the check fail and the retry button come up (state 11).
  ASSERT_TRUE(testutil::PumpUntil([&] { return RedOnTheStatusLine() > 20; }, 90000)) << PressReport();
  testutil::PumpFor(1500);  // past the press guard
  // A message box about the installer that could not start (before the
  // hand-off learnt to skip a failed check) would hold the press: OK it.
  for (HWND box : WindowsOf(p.pid(), [](HWND w) {
         wchar_t cls[16] = L"";
         GetClassNameW(w, cls, 16);
         return lstrcmpW(cls, L"#32770") == 0 && IsWindowVisible(w) &&
                FindWindowExW(w, nullptr, L"Button", nullptr) != nullptr;
       })) {
    SendMessageW(FindWindowExW(box, nullptr, L"Button", nullptr), BM_CLICK, 0, 0);
  }
  testutil::PumpFor(500);
  const std::vector<DWORD> before = base::FindProcessesByName(L"KVDownloader.exe");
  bool restarted = false;
  for (int attempt = 0; attempt < 3 && !restarted; ++attempt) {
    ClickAction();
    restarted = LogSays(L"重启下载器成功", 5000);
  }
  ASSERT_TRUE(restarted) << PressReport();
  EXPECT_EQ(0u, p.WaitExit(20000)) << "the old copy did not end";
  DWORD fresh = 0;
  testutil::PumpUntil(
      [&] {
        for (DWORD pid : base::FindProcessesByName(L"KVDownloader.exe"))
          if (pid != p.pid() && std::find(before.begin(), before.end(), pid) == before.end()) fresh = pid;
        return fresh != 0 && MainWindowOf(fresh) != nullptr;
      },
      30000);
  ASSERT_NE(0u, fresh) << "no new copy started";
  EXPECT_NE(nullptr, MainWindowOf(fresh)) << "the new copy shows no window";
  base::ScopedHandle copy(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ,
                                      FALSE, fresh));
  ASSERT_TRUE(copy.IsValid());
  wchar_t image[MAX_PATH] = L"";
  DWORD size = MAX_PATH;
  QueryFullProcessImageNameW(copy.Get(), 0, image, &size);
  EXPECT_EQ(CompareStringOrdinal(image, -1, exe_.c_str(), -1, TRUE), CSTR_EQUAL) << "restarted another file";
  WaitUntilUnpacked(copy.Get());
  TerminateProcess(copy.Get(), 1);
  WaitForSingleObject(copy.Get(), 20000);
}

}  // namespace

namespace {

using namespace programtest;

// An installer of an earlier download (another digest) lies in the install
// folder, and the server breaks off in the middle of the transfer: nothing
// is started and no installer step is reported, the error stays with its
// retry button; the retry fetches the new installer, which replaces the
// old one and is started once.
TEST_F(DownloadProgramTest, FailureMidwayWithAStaleInstallerStartsNothingAndTheRetryStartsTheNewOne) {
  const std::string stale = InstallerBytes(5);
  const std::string fresh = InstallerBytes(6);
  ASSERT_FALSE(fresh.empty());
  ASSERT_TRUE(base::CreateFolderTree(install_dir_));
  ASSERT_TRUE(testutil::WriteFileBytes(install_dir_ + L"\\KorvanInstall.exe", stale));
  std::atomic<bool> healthy(false), cut(false);
  enginetest::ScriptedServer server(
      [&fresh, &healthy, &cut](enginetest::ServerConn& conn, const enginetest::ServedRequest& request) {
        const bool probe = request.has_range && request.first == 0 && request.last == 0;
        if (healthy || probe) {
          enginetest::ServeFile(conn, request, fresh);
          return;
        }
        // The engine retries a source that still sends something: after the
        // first cut every connection dies at once.
        if (cut.exchange(true)) {
          conn.Reset();
          return;
        }
        // A quarter of a MiB of what was asked for, then the connection dies.
        const uint64_t first = request.has_range ? request.first : 0;
        const uint64_t last = std::min<uint64_t>(request.last, fresh.size() - 1);
        std::ostringstream head;
        head << "HTTP/1.1 206 Partial Content\r\nETag: \"v1\"\r\nAccept-Ranges: bytes\r\nContent-Range: bytes "
             << first << "-" << last << "/" << fresh.size() << "\r\nContent-Length: " << (last - first + 1)
             << "\r\n\r\n";
        conn.Send(head.str());
        conn.Send(fresh.substr(first, std::min<uint64_t>(256 * 1024, last - first + 1)));
        conn.Reset();
      });
  ASSERT_TRUE(server.Start());
  WriteTask(L"http://127.0.0.1:" + std::to_wstring(server.port()) + L"/KorvanInstall.exe", fresh,
            "retry_limit=1\n");
  const size_t log_offset = testutil::TestNginx::AccessLogSize();
  Program p;
  StartShown(p);
  bool started = false;
  for (int attempt = 0; attempt < 15 && !started; ++attempt) {
    ClickAction();
    started = LogSays(L"启动下载成功", 2000);
  }
  ASSERT_TRUE(started) << "the download never began; " << PressReport();
  ASSERT_TRUE(LogSays(L"下载进度查询失败", 60000)) << "the transfer did not fail";
  testutil::PumpFor(3000);  // time for a hand-off that must not come
  EXPECT_TRUE(p.Running()) << "the program ended after a failed transfer";
  EXPECT_EQ(0, CountStarts(testutil::ReadFileBytes(install_dir_ + L"\\KorvanInstall.log")))
      << "the stale installer was started";
  EXPECT_TRUE(WindowsOf(p.pid(), [](HWND w) {
                wchar_t title[64] = {};
                GetWindowTextW(w, title, 64);
                return IsWindowVisible(w) && wcscmp(title, L"安装包启动失败") == 0;
              }).empty())
      << "a message box about the installer";
  EXPECT_NE(std::wstring::npos, ProgramLog().find(L"InstallExe未启动，安装包未在本次校验通过，current_state_:10"));
  EXPECT_GT(RedOnTheStatusLine(), 20) << "the error is not shown";
  bool served = false;
  std::vector<Report> reports = ReportsSince(log_offset, 2, &served);
  for (const Report& r : reports) EXPECT_NE(10, r.status) << "an installer step reported for a failed download";

  healthy = true;
  bool retried = false;
  for (int attempt = 0; attempt < 5 && !retried; ++attempt) {
    ClickAction();
    retried = testutil::PumpUntil([&] { return CountOf(ProgramLog(), L"启动下载成功") >= 2; }, 3000);
  }
  ASSERT_TRUE(retried) << "the retry did not start the download; " << PressReport();
  EXPECT_EQ(0u, p.WaitExit(90000)) << "the retried download did not finish";
  EXPECT_EQ(1, CountStarts(testutil::ReadFileBytes(install_dir_ + L"\\KorvanInstall.log")));
  EXPECT_EQ(testutil::Sha256Hex(testutil::ReadFileBytes(install_dir_ + L"\\KorvanInstall.exe")),
            testutil::Sha256Hex(fresh))
      << "the stale installer was not replaced";
  reports = ReportsSince(log_offset, 3, &served);
  if (!served) GTEST_SKIP() << "another server holds the statistics port; reports not checked";
  int installer_steps = 0;
  for (const Report& r : reports) installer_steps += r.status == 10;
  EXPECT_EQ(1, installer_steps);
}

}  // namespace
