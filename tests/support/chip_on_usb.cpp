#include "support/chip_on_usb.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {
std::unique_ptr<sim::SimDevice> Build(const std::string& simText) {
  sim::Config c;
  EXPECT_EQ(sim::ParseConfig(simText, &c), "");
  auto d = std::make_unique<sim::SimDevice>(c);
  EXPECT_EQ(d->Attach(), "");
  d->KeepHistory(true);
  return d;
}
}  // namespace

// The layout the kernel gives a USB serial adapter: the tty's device link
// leads to the interface, whose parent holds the device's attributes.
ChipOnUsb::ChipOnUsb(ChipModel model, const std::string& simText, const std::string& root, const std::string& tty,
                     const std::string& port, int bus, int address)
    : device_(Build(simText)), chip_(model, device_.get(), port), usb_(&chip_), bus_(bus), address_(address) {
  std::string usb = root + "/devices/pci0000:00/0000:00:14.0/usb" + std::to_string(bus);
  std::string dev = usb + "/" + std::to_string(bus) + "-" + std::to_string(address);
  std::string iface = dev + "/" + std::to_string(bus) + "-" + std::to_string(address) + ":1.0";
  for (const std::string& d : {root + "/devices", root + "/devices/pci0000:00", root + "/devices/pci0000:00/0000:00:14.0",
                               usb, dev, iface, iface + "/" + tty, root + "/class", root + "/class/tty",
                               root + "/class/tty/" + tty})
    mkdir(d.c_str(), 0755);
  WriteFile(dev + "/busnum", std::to_string(bus) + "\n");
  WriteFile(dev + "/devnum", std::to_string(address) + "\n");
  WriteFile(dev + "/idVendor", "0403\n");
  char pid[8];
  std::snprintf(pid, sizeof pid, "%04x\n", chip_.ProductId());
  WriteFile(dev + "/idProduct", pid);
  WriteFile(dev + "/product", std::string(chip_.Description()) + "\n");
  EXPECT_EQ(symlink(iface.c_str(), (root + "/class/tty/" + tty + "/device").c_str()), 0);
  fake_usb_plug(bus, address, &usb_);
}

ChipOnUsb::~ChipOnUsb() { fake_usb_plug(bus_, address_, nullptr); }
