// Started by the launching tests with a command line and a start-up title of
// their choosing; reports what the program makes of them, each in brackets:
//   args=[command-line argument text]
//   name=[the second firmware name]
//   status=[what LocateFirmwareFile wrote, if anything] count=N
#include <cstdio>
#include <string>

#include "state/dialog_ops.h"
#include "image/firmware_file.h"
#include "platform/file.h"

namespace {
class PrintingDialog : public DialogOps {
 public:
  std::string status;
  void SetStatusText(const char* text) override { status = text; }
  void SetSerialNumberText(const char*) override {}
  void EnableStart(bool) override {}
  void EnableVerify(bool) override {}
  bool IsVerifyChecked() override { return false; }
  void RepaintNow() override {}
  void DoWaitCursor(int) override {}
};
}  // namespace

int main() {
  PrintingDialog dialog;
  LocateFirmwareFile(&dialog);
  std::printf("args=[%s]\nname=[%s]\nstatus=[%s] count=%d\n", plat::CommandLineArgumentText().c_str(),
              DefaultFirmwareName().c_str(), dialog.status.c_str(), int(g_recordCount));
  return 0;
}
