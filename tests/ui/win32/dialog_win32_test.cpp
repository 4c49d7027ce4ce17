// The real dialog, driven by window messages: in this process on a GUI thread
// of its own (so that its colours and its state can be read back), and as the
// program itself (start-up, single instance, a whole cycle).
#include "ui/win32/win.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/settings_store.h"
#include "cycle/programming_cycle.h"
#include "state/shared_state.h"
#include "app/firmware_location.h"
#include "image/firmware_file.h"
#include "orvalo_version.h"
#include "sim/sim.h"
#include "support/test_support.h"
#include "ui/win32/programmer_app.h"
#include "ui/win32/programmer_dialog.h"
#include "ui/win32/resource.h"
#include "support/win32_test_support.h"

namespace {

const char kDone[] = "Programming Completed Successfully.";
const char kNoDevice[] = "Device not found. Check Power, Cable, Free COM.";

bool WaitFor(const std::function<bool()>& ready, int ms = 20000) {
  for (int waited = 0; waited < ms; waited += 10) {
    if (ready()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return ready();
}

// WM_GETTEXT rather than GetWindowText, which does not ask the controls of
// another process.
std::string TextOf(HWND hwnd) {
  char buf[256] = {};
  SendMessageA(hwnd, WM_GETTEXT, sizeof buf, LPARAM(buf));
  return buf;
}

// What the dialog's colour handler does to a drawing context for control id.
COLORREF TextColourFor(HWND dialog, int id) {
  HDC dc = CreateCompatibleDC(nullptr);
  SetTextColor(dc, RGB(1, 2, 3));
  SendMessageA(dialog, WM_CTLCOLORSTATIC, WPARAM(dc), LPARAM(GetDlgItem(dialog, id)));
  COLORREF c = GetTextColor(dc);
  DeleteDC(dc);
  return c;
}

// The font the colour handler leaves selected for control id: underlined?
bool DrawnUnderlined(HWND dialog, int id) {
  HDC dc = CreateCompatibleDC(nullptr);
  SendMessageA(dialog, WM_CTLCOLORSTATIC, WPARAM(dc), LPARAM(GetDlgItem(dialog, id)));
  LOGFONTA lf{};
  GetObjectA(GetCurrentObject(dc, OBJ_FONT), sizeof lf, &lf);
  DeleteDC(dc);
  return lf.lfUnderline != 0;
}

// The status line's tooltip text, as the tooltip itself holds it.
std::string StatusNote(HWND dialog) {
  struct Found {
    HWND dialog, tip;
  } found{dialog, nullptr};
  EnumThreadWindows(
      GetWindowThreadProcessId(dialog, nullptr),
      [](HWND w, LPARAM lp) -> BOOL {
        auto* f = reinterpret_cast<Found*>(lp);
        char cls[64] = {};
        GetClassNameA(w, cls, sizeof cls);
        if (lstrcmpiA(cls, TOOLTIPS_CLASSA) == 0 && GetWindow(w, GW_OWNER) == f->dialog) f->tip = w;
        return f->tip == nullptr;
      },
      LPARAM(&found));
  if (!found.tip) return "<no tooltip>";
  wchar_t text[1024] = {};
  TOOLINFOW ti{};
  ti.cbSize = TTTOOLINFOW_V2_SIZE;
  ti.hwnd = dialog;
  ti.uId = IDC_STATUS;
  ti.lpszText = text;
  SendMessageW(found.tip, TTM_GETTEXTW, sizeof text / sizeof text[0], LPARAM(&ti));
  std::string narrow;
  for (const wchar_t* c = text; *c; ++c) narrow += char(*c);
  return narrow;
}

HWND FindDialog() {
  HWND hwnd = FindWindowA(nullptr, kProgrammerTitle);
  return hwnd && IsWindowVisible(hwnd) ? hwnd : nullptr;
}

// What the status line showed at each text, seen on the dialog's own thread
// at the moment the text arrived.
struct StatusSeen {
  std::string text;
  COLORREF colour;
  bool startEnabled, verifyEnabled;
  int waitCursor;
};

std::mutex g_seenMutex;
std::vector<StatusSeen> g_seen;
std::function<void(const std::string&)> g_onStatus;  // runs on the dialog's thread
WNDPROC g_statusProc = nullptr;

LRESULT CALLBACK StatusHook(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_SETTEXT && lp) {
    HWND dialog = GetParent(hwnd);
    std::string text = reinterpret_cast<const char*>(lp);
    StatusSeen s{text, TextColourFor(dialog, IDC_STATUS), IsWindowEnabled(GetDlgItem(dialog, IDC_START)) != 0,
                 IsWindowEnabled(GetDlgItem(dialog, IDC_VERIFY)) != 0, TheApp()->WaitCursorCount()};
    {
      std::lock_guard<std::mutex> g(g_seenMutex);
      g_seen.push_back(s);
    }
    if (g_onStatus) g_onStatus(text);
  }
  return CallWindowProcA(g_statusProc, hwnd, msg, wp, lp);
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetGlobals();
    IsolateSettingsStore(TempDir("settings"));
    firmwarePath = DefaultFirmwareName();  // where the dialog will look
    std::lock_guard<std::mutex> g(g_seenMutex);
    g_seen.clear();
    g_onStatus = nullptr;
  }

  void TearDown() override {
    if (dialog) PostMessageA(dialog, WM_CLOSE, 0, 0);
    if (gui.joinable()) gui.join();
    g_onStatus = nullptr;
    ReplaceProcessStarter(nullptr);
    DeleteFileA(firmwarePath.c_str());
    sim::Uninstall();
    ResetGlobals();
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  }

  // Runs the application as the program does, on a thread of its own, and
  // waits until its dialog is on the screen.
  void Run(bool withFirmware, const std::string& sim) {
    if (withFirmware)
      WriteFile(firmwarePath, MakeHex(std::vector<uint8_t>(300, 0x5A)));
    else
      DeleteFileA(firmwarePath.c_str());
    InstallSim(sim);
    app = std::make_unique<ProgrammerApp>();
    gui = std::thread([this] {
      app->InitInstance();
      ended = true;
    });
    ASSERT_TRUE(WaitFor([&] { return (dialog = FindDialog()) != nullptr; })) << "no dialog";
    status = GetDlgItem(dialog, IDC_STATUS);
    g_statusProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(status, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StatusHook)));
  }

  void ClickStart() { SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), LPARAM(Item(IDC_START))); }
  bool WaitForCycleEnd() { return WaitFor([] { return g_cycleThread && g_cycleThread->Finished(); }); }
  HWND Item(int id) { return GetDlgItem(dialog, id); }
  std::vector<StatusSeen> Seen() {
    std::lock_guard<std::mutex> g(g_seenMutex);
    return g_seen;
  }
  bool Closes() {
    bool closed = WaitFor([&] { return ended.load(); }, 10000);
    if (closed) dialog = nullptr;
    return closed;
  }

  std::string firmwarePath;
  std::unique_ptr<ProgrammerApp> app;
  std::thread gui;
  std::atomic<bool> ended{false};
  HWND dialog = nullptr;
  HWND status = nullptr;
};

TEST_F(DialogTest, StartRunsTheCycleWithControlsDisabledAndTheStatusInItsColours) {
  Run(true, "serial=RV0058LK00000000000042");
  EXPECT_EQ(TextOf(status), "Idle.");
  EXPECT_EQ(TextColourFor(dialog, IDC_STATUS), RGB(0, 0, 0));
  EXPECT_EQ(TextColourFor(dialog, IDC_WEB_LINK), RGB(0, 0, 255));
  SendMessageA(Item(IDC_VERIFY), BM_SETCHECK, BST_CHECKED, 0);

  ClickStart();
  ASSERT_TRUE(WaitForCycleEnd());
  std::vector<StatusSeen> seen = Seen();
  ASSERT_GE(seen.size(), 3u);
  EXPECT_EQ(seen.front().text, "Auto Detecting Device ...");
  bool verified = false;
  for (size_t i = 0; i + 1 < seen.size(); ++i) {
    EXPECT_FALSE(seen[i].startEnabled) << seen[i].text;
    EXPECT_FALSE(seen[i].verifyEnabled) << seen[i].text;
    EXPECT_EQ(seen[i].waitCursor, 1) << seen[i].text;
    EXPECT_EQ(seen[i].colour, RGB(0, 0, 0)) << seen[i].text;
    if (seen[i].text.rfind("Verifying", 0) == 0) verified = true;
  }
  EXPECT_TRUE(verified);
  EXPECT_EQ(seen.back().text, kDone);
  EXPECT_EQ(TextOf(status), kDone);
  EXPECT_EQ(TextOf(Item(IDC_SERIAL_NUMBER)), "RV0058LK00000000000042");
  EXPECT_EQ(StatusNote(dialog), "") << "the device's own number";
  EXPECT_TRUE(IsWindowEnabled(Item(IDC_START)));
  EXPECT_TRUE(IsWindowEnabled(Item(IDC_VERIFY)));
  EXPECT_EQ(app->WaitCursorCount(), 0);
  // Stored under the running program's own name: this test program's.
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software\\Kestrune\\win32_dialog_tests.INI\\Device", 0, KEY_READ,
                          &key),
            ERROR_SUCCESS);
  char stored[32] = {};
  DWORD size = sizeof stored - 1;
  EXPECT_EQ(RegQueryValueExA(key, "Serial Number", nullptr, nullptr, reinterpret_cast<BYTE*>(stored), &size),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_STREQ(stored, "RV0058LK00000000000042");
}

TEST_F(DialogTest, AFailureIsRedAndOnlyTheStatusLineIsColouredSo) {
  Run(true, "nodevice");
  ClickStart();
  ASSERT_TRUE(WaitForCycleEnd());
  EXPECT_EQ(TextOf(status), kNoDevice);
  EXPECT_EQ(StatusNote(dialog), "COM1: opened, but no device answered.\nCOM2: opened, but no device answered.");
  EXPECT_EQ(Seen().back().colour, RGB(255, 0, 0));
  EXPECT_EQ(TextColourFor(dialog, IDC_STATUS), RGB(255, 0, 0));
  // The read-only edit and the check box ask with the same message.
  EXPECT_NE(TextColourFor(dialog, IDC_SERIAL_NUMBER), RGB(255, 0, 0));
  EXPECT_NE(TextColourFor(dialog, IDC_VERIFY), RGB(255, 0, 0));
  EXPECT_EQ(TextColourFor(dialog, IDC_WEB_LINK), RGB(0, 0, 255));
  // Start, which began the cycle, has the focus still (the cycle's thread
  // disables it, which takes no focus from the dialog's): the next Enter
  // starts a cycle rather than closing the program.
  EXPECT_TRUE(WaitFor([&] {
    GUITHREADINFO info{sizeof info};
    return GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) && info.hwndFocus == Item(IDC_START);
  }));
  // The next cycle starts black again.
  ClickStart();
  ASSERT_TRUE(WaitFor([&] { return Seen().size() >= 3; }));
  EXPECT_EQ(Seen()[2].text, "Auto Detecting Device ...");
  EXPECT_EQ(Seen()[2].colour, RGB(0, 0, 0));
  // A close asked for while the cycle still runs is refused, and the one the
  // test's end sends must not be.
  EXPECT_TRUE(WaitForCycleEnd());
}

// The black success text alone would not tell that the number was borrowed.
TEST_F(DialogTest, ASerialNumberTheDeviceDidNotReportIsToldBesideTheSuccessText) {
  Run(true, "silent,serial=AB");
  ClickStart();
  ASSERT_TRUE(WaitForCycleEnd());
  EXPECT_EQ(TextOf(status), kDone);
  EXPECT_EQ(TextColourFor(dialog, IDC_STATUS), RGB(0, 0, 0));
  EXPECT_EQ(StatusNote(dialog), "The serial number shown is the factory default, not the device's own.");
}

TEST_F(DialogTest, NothingClosesTheDialogWhileACycleRunsAndEscapeDoesAfterIt) {
  Run(true, "serial=AB");
  bool tried = false;
  g_onStatus = [&](const std::string& text) {
    if (text != "Auto Detecting Device ..." || tried) return;
    tried = true;
    SendMessageA(dialog, WM_CLOSE, 0, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    MSG escape{Item(IDC_VERIFY), WM_KEYDOWN, VK_ESCAPE, 0, 0, {0, 0}};
    IsDialogMessageA(dialog, &escape);
  };
  ClickStart();
  ASSERT_TRUE(WaitForCycleEnd());
  EXPECT_TRUE(tried);
  EXPECT_EQ(TextOf(status), kDone);
  EXPECT_TRUE(IsWindow(dialog));
  EXPECT_FALSE(ended);

  PostMessageA(Item(IDC_VERIFY), WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_TRUE(Closes());
}

TEST_F(DialogTest, WithoutAFirmwareFileStartIsOffForGoodAndTheRestStillWorks) {
  Run(false, "serial=AB");
  EXPECT_EQ(TextOf(status), "Firmware file access Failed.");
  // The test's own arguments are the name tried first, and so the one named.
  EXPECT_EQ(StatusNote(dialog).rfind("The firmware file ", 0), 0u) << StatusNote(dialog);
  EXPECT_EQ(TextColourFor(dialog, IDC_STATUS), RGB(255, 0, 0));
  EXPECT_FALSE(IsWindowEnabled(Item(IDC_START)));
  EXPECT_TRUE(IsWindowEnabled(Item(IDC_VERIFY)));
  SendMessageA(Item(IDC_VERIFY), BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageA(Item(IDC_VERIFY), BM_GETCHECK, 0, 0), BST_CHECKED);
  WriteFile(firmwarePath, MakeHex({1, 2, 3}));  // added too late: not noticed
  EXPECT_FALSE(IsWindowEnabled(Item(IDC_START)));
  PostMessageA(Item(IDC_VERIFY), WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_TRUE(Closes());
}

TEST_F(DialogTest, OnlyAClickOnTheWebLinkStartsTheBrowser) {
  Run(true, "serial=AB");
  std::vector<std::string> started;
  ReplaceProcessStarter([&](const std::string& commandLine) { started.push_back(commandLine); });
  RECT link;
  GetWindowRect(Item(IDC_WEB_LINK), &link);
  SetCursorPos((link.left + link.right) / 2, (link.top + link.bottom) / 2);
  SendMessageA(dialog, WM_LBUTTONDOWN, 0, 0);
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0], "explorer https://orvalo.example/");
  EXPECT_EQ(TextOf(Item(IDC_WEB_LINK)), "orvalo.example ");
  // The address, drawn in the link's own font, fits inside its box.
  HWND linkItem = Item(IDC_WEB_LINK);
  std::string shown = TextOf(linkItem);
  HDC dc = GetDC(linkItem);
  HGDIOBJ before = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(linkItem, WM_GETFONT, 0, 0)));
  SIZE extent{};
  GetTextExtentPoint32A(dc, shown.c_str(), int(shown.size()) - 1, &extent);  // the blank after it aside
  SelectObject(dc, before);
  ReleaseDC(linkItem, dc);
  RECT box;
  GetClientRect(linkItem, &box);
  EXPECT_GT(extent.cx, 0);
  EXPECT_LE(extent.cx, box.right - box.left);
  EXPECT_TRUE(DrawnUnderlined(dialog, IDC_WEB_LINK));
  EXPECT_FALSE(DrawnUnderlined(dialog, IDC_STATUS));

  RECT start;
  GetWindowRect(Item(IDC_START), &start);
  SetCursorPos((start.left + start.right) / 2, (start.top + start.bottom) / 2);
  SendMessageA(dialog, WM_LBUTTONDOWN, 0, 0);
  EXPECT_EQ(started.size(), 1u);
}

// The controls in template order, each where the system's dialog manager put
// it for this dialog's font (position and size each converted from dialog
// units with the base units the system reports); the dialog at the top-left
// corner of the screen.
TEST_F(DialogTest, ControlsSitAtTheirDialogUnitRectanglesInTemplateOrder) {
  Run(true, "serial=AB");
  RECT base = {0, 0, 4, 8};
  ASSERT_TRUE(MapDialogRect(dialog, &base));
  auto px = [](int du, int units, int div) { return (du * units + div / 2) / div; };
  const RECT layout[] = {{5, 22, 50, 10},  {5, 38, 45, 15},   {60, 40, 35, 8},  {5, 60, 180, 10},
                         {60, 20, 125, 12}, {120, 39, 65, 10}, {5, 5, 170, 8}};
  const int ids[] = {-1, IDC_START, IDC_VERIFY, IDC_STATUS, IDC_SERIAL_NUMBER, IDC_WEB_LINK, -1};
  HWND child = GetWindow(dialog, GW_CHILD);
  for (size_t i = 0; i < sizeof ids / sizeof ids[0]; ++i, child = GetWindow(child, GW_HWNDNEXT)) {
    SCOPED_TRACE("control " + std::to_string(i));
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(GetDlgCtrlID(child) & 0xFFFF, ids[i] & 0xFFFF);
    RECT got;
    GetWindowRect(child, &got);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&got), 2);
    EXPECT_EQ(got.left, px(layout[i].left, base.right, 4));
    EXPECT_EQ(got.top, px(layout[i].top, base.bottom, 8));
    EXPECT_EQ(got.right - got.left, px(layout[i].right, base.right, 4));
    EXPECT_EQ(got.bottom - got.top, px(layout[i].bottom, base.bottom, 8));
  }
  EXPECT_EQ(child, nullptr);
  RECT client, size = {0, 0, 192, 76};
  GetClientRect(dialog, &client);
  ASSERT_TRUE(MapDialogRect(dialog, &size));
  EXPECT_EQ(client.right, size.right);
  EXPECT_EQ(client.bottom, size.bottom);
  RECT window;
  GetWindowRect(dialog, &window);
  EXPECT_EQ(window.left, 0);
  EXPECT_EQ(window.top, 0);
}

// A double click on the link, as the system delivers it to this window class
// (its second press is a double-click message where the class asks for them):
// the browser is started once.
TEST_F(DialogTest, ADoubleClickOnTheWebLinkStartsTheBrowserOnce) {
  Run(true, "serial=AB");
  std::vector<std::string> started;
  ReplaceProcessStarter([&](const std::string& commandLine) { started.push_back(commandLine); });
  RECT link;
  GetWindowRect(Item(IDC_WEB_LINK), &link);
  SetCursorPos((link.left + link.right) / 2, (link.top + link.bottom) / 2);
  bool doubleClicks = (GetClassLongPtrA(dialog, GCL_STYLE) & CS_DBLCLKS) != 0;
  SendMessageA(dialog, WM_LBUTTONDOWN, MK_LBUTTON, 0);
  SendMessageA(dialog, WM_LBUTTONUP, 0, 0);
  SendMessageA(dialog, doubleClicks ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN, MK_LBUTTON, 0);
  SendMessageA(dialog, WM_LBUTTONUP, 0, 0);
  EXPECT_TRUE(doubleClicks);
  EXPECT_EQ(started.size(), 1u);
}

#pragma pack(push, 2)
struct IconGroupEntry {  // one image of an RT_GROUP_ICON resource
  BYTE width, height, colours, reserved;
  WORD planes, bitCount;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

TEST(ResourceTest, TheIconIsOneThirtyTwoSquareImageOfSixteenColours) {
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(IDI_PROGRAMMER), MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
  ASSERT_NE(found, nullptr);
  const BYTE* group = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
  ASSERT_NE(group, nullptr);
  WORD count;
  memcpy(&count, group + 4, sizeof count);
  ASSERT_EQ(count, 1);
  IconGroupEntry entry;
  memcpy(&entry, group + 6, sizeof entry);
  EXPECT_EQ(entry.width, 32);
  EXPECT_EQ(entry.height, 32);
  EXPECT_EQ(entry.colours, 16);
  EXPECT_EQ(entry.bitCount, 4);
}

TEST(ResourceTest, TheLinkCursorIsMonochromeWithItsHotSpotAtTheTopLeft) {
  HCURSOR cursor = LoadCursorA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDC_LINK_CURSOR));
  ASSERT_NE(cursor, nullptr);
  ICONINFO info;
  ASSERT_TRUE(GetIconInfo(cursor, &info));
  EXPECT_FALSE(info.fIcon);
  EXPECT_EQ(info.xHotspot, 0u);
  EXPECT_EQ(info.yHotspot, 0u);
  EXPECT_EQ(info.hbmColor, nullptr);  // a monochrome cursor is all mask
  BITMAP mask{};
  GetObjectA(info.hbmMask, sizeof mask, &mask);
  EXPECT_EQ(mask.bmWidth, 32);
  EXPECT_EQ(mask.bmHeight, 64);  // AND and XOR halves
  DeleteObject(info.hbmMask);
  if (info.hbmColor) DeleteObject(info.hbmColor);
}

// The program itself: one whole cycle started by a message, the status read
// back through the window, and the close box ending the process.
class ProgramTest : public ::testing::Test {
 protected:
  std::string program = WindowsPath(ORVALO_PROGRAMMER_PATH);
  std::string dir = TempDir("program");
  void TearDown() override {
    SetEnvironmentVariableA("ORVALO_SIM", nullptr);
    if (HWND left = FindWindowA(nullptr, kProgrammerTitle)) PostMessageA(left, WM_CLOSE, 0, 0);
  }
};

TEST_F(ProgramTest, TheProgramRunsACycleAndEndsWhenClosed) {
  std::string firmware = dir + "/image.hex";
  WriteFile(firmware, MakeHex(std::vector<uint8_t>(64, 0x11)));
  SetEnvironmentVariableA("ORVALO_SIM", "time=virtual,serial=RV0058LK00000000000042");
  HANDLE process = StartProgram(program, "orvalo-programmer " + firmware, nullptr, nullptr);
  ASSERT_NE(process, nullptr);
  HWND window = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (window = FindDialog()) != nullptr; }));
  HWND status = GetDlgItem(window, IDC_STATUS);
  EXPECT_EQ(TextOf(status), "Idle.");
  SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), LPARAM(GetDlgItem(window, IDC_START)));
  EXPECT_TRUE(WaitFor([&] { return TextOf(status) == kDone; })) << TextOf(status);
  EXPECT_EQ(TextOf(GetDlgItem(window, IDC_SERIAL_NUMBER)), "RV0058LK00000000000042");
  WaitFor([&] { return IsWindowEnabled(GetDlgItem(window, IDC_START)) != 0; });
  PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
  CloseHandle(process);
}

// --help and --version are answered where its output goes, and nothing opens.
TEST_F(ProgramTest, HelpAndVersionAreAnsweredWithoutTheDialog) {
  ChildRun run = RunChild(program, "orvalo-programmer --version", nullptr, 20000);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.output, "orvalo-programmer " ORVALO_VERSION "\n");
  run = RunChild(program, "orvalo-programmer -h", nullptr, 20000);
  EXPECT_EQ(run.output.rfind("Usage: orvalo-programmer [FIRMWARE]\n", 0), 0u) << run.output;
  EXPECT_EQ(FindWindowA(nullptr, kProgrammerTitle), nullptr);
}

// The dialog program's own comm path under Wine, against the emulated device
// on COM1 (real time): a verified cycle with the serial-number exchange, and a
// device that never reports, whose request ends after its limit.
TEST_F(ProgramTest, TheProgramsCycleRunsOverTheEmulatedSerialPort) {
  std::string firmware = dir + "/image.hex";
  WriteFile(firmware, MakeHex(std::vector<uint8_t>(32, 0x5A)));
  for (bool silent : {false, true}) {
    if (!UseEmulatedDevice(silent ? "dialog-silent" : "dialog-verified",
                           std::string("serial=RV0058LK00000000000055") + (silent ? ",silent" : ",request")))
      GTEST_SKIP() << "no emulated device in this stage";
    HANDLE process = StartProgram(program, "orvalo-programmer " + firmware, nullptr, nullptr);
    ASSERT_NE(process, nullptr);
    HWND window = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (window = FindDialog()) != nullptr; }));
    HWND status = GetDlgItem(window, IDC_STATUS);
    DWORD t0 = GetTickCount();
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), LPARAM(GetDlgItem(window, IDC_START)));
    EXPECT_TRUE(WaitFor([&] { return TextOf(status) == kDone; }, 30000)) << TextOf(status);
    // Read from the device, then, from the silent one, the value stored then.
    EXPECT_EQ(TextOf(GetDlgItem(window, IDC_SERIAL_NUMBER)), "RV0058LK00000000000055");
    if (silent) {
      EXPECT_GE(GetTickCount() - t0, 3000u);
    }
    WaitFor([&] { return IsWindowEnabled(GetDlgItem(window, IDC_START)) != 0; });
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
    CloseHandle(process);
  }
}

TEST_F(ProgramTest, ASecondCopyBringsTheFirstToTheFrontAndEnds) {
  SetEnvironmentVariableA("ORVALO_SIM", "time=virtual");
  HANDLE first = StartProgram(program, "orvalo-programmer", "no such title", dir.c_str());
  ASSERT_NE(first, nullptr);
  HWND window = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (window = FindDialog()) != nullptr; }));
  // Started in a folder without firmware.hex and with a title that names no
  // program: no file, Start off, the reason in the status line.
  EXPECT_EQ(TextOf(GetDlgItem(window, IDC_STATUS)), "Firmware file access Failed.");
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_START)));

  HWND other = CreateWindowExA(0, "STATIC", "in front", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                               nullptr, nullptr);
  SetForegroundWindow(other);
  ASSERT_EQ(GetForegroundWindow(), other);
  HANDLE second = StartProgram(program, "orvalo-programmer", nullptr, dir.c_str());
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(WaitForSingleObject(second, 10000), WAIT_OBJECT_0);
  CloseHandle(second);
  EXPECT_EQ(GetForegroundWindow(), window);
  int windows = 0;
  EnumWindows(
      [](HWND hwnd, LPARAM count) -> BOOL {
        if (TextOf(hwnd) == kProgrammerTitle) ++*reinterpret_cast<int*>(count);
        return TRUE;
      },
      LPARAM(&windows));
  EXPECT_EQ(windows, 1);
  DestroyWindow(other);

  PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(first, 10000), WAIT_OBJECT_0);
  CloseHandle(first);
}

}  // namespace

namespace {

// A bad ORVALO_SIM: the error in a box titled ORVALO_SIM, and exit status 2
// once the operator closes it; no dialog.
TEST_F(ProgramTest, ABadSimulatorSettingIsShownInABoxBeforeTheProgramEnds) {
  SetEnvironmentVariableA("ORVALO_SIM", "time=virtual,slip=99");
  HANDLE process = StartProgram(program, "orvalo-programmer", nullptr, dir.c_str());
  ASSERT_NE(process, nullptr);
  HWND box = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (box = FindWindowA(nullptr, "ORVALO_SIM")) != nullptr; }));
  std::string text;
  EnumChildWindows(
      box,
      [](HWND child, LPARAM out) -> BOOL {
        std::string t = TextOf(child);
        if (t.find("slip=99") != std::string::npos) *reinterpret_cast<std::string*>(out) = t;
        return TRUE;
      },
      LPARAM(&text));
  EXPECT_NE(text.find("ORVALO_SIM: bad value in \"slip=99\""), std::string::npos) << text;
  EXPECT_EQ(FindDialog(), nullptr);
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  ASSERT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  EXPECT_EQ(code, 2u);
  CloseHandle(process);
}

}  // namespace
