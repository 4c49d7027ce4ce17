#include "state/shared_state.h"

plat::SerialPort* g_hPort = nullptr;
std::unique_ptr<plat::File> g_hFirmware;
std::unique_ptr<plat::File> g_firmwareImage;
int32_t g_recordCount = 0;
uint8_t g_delayCount = 0;
std::atomic<uint8_t> g_cycleBusy{0};
std::atomic<uint8_t> g_statusError{0};
uint16_t g_failAddress = 0;
uint8_t g_deviceSerial[256];
