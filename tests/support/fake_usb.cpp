// The libusb-1.0 calls libftdi1 makes, over the devices of fake_usb.h.
#include "support/fake_usb.h"

#include <libusb-1.0/libusb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#define EXPORT extern "C" __attribute__((visibility("default")))

struct libusb_context {
  int unused = 0;
};

struct libusb_device {
  int bus = 0, address = 0;
  UsbFunction* function = nullptr;
  bool driverBound = true;
  bool denied = false;
};

struct libusb_device_handle {
  libusb_device* device = nullptr;
  bool autoDetach = false;
  bool claimed = false;
  bool detachedByClaim = false;
};

namespace {

std::recursive_mutex g_m;
std::map<std::pair<int, int>, libusb_device*> g_devices;  // never freed: handles may outlive a plug
int g_handles = 0;

libusb_device* Find(int bus, int address) {
  auto it = g_devices.find({bus, address});
  return it == g_devices.end() ? nullptr : it->second;
}

bool Gone(libusb_device* d) { return !d->function || d->function->Unplugged(); }

}  // namespace

EXPORT void fake_usb_plug(int bus, int address, UsbFunction* function) {
  std::lock_guard<std::recursive_mutex> g(g_m);
  libusb_device*& d = g_devices[{bus, address}];
  if (!d) d = new libusb_device;
  d->bus = bus;
  d->address = address;
  d->function = function;
  d->driverBound = true;
  d->denied = false;
}

EXPORT void fake_usb_unplug_all() {
  std::lock_guard<std::recursive_mutex> g(g_m);
  for (auto& entry : g_devices) entry.second->function = nullptr;
}

EXPORT int fake_usb_driver_bound(int bus, int address) {
  std::lock_guard<std::recursive_mutex> g(g_m);
  libusb_device* d = Find(bus, address);
  return d && d->driverBound;
}

EXPORT void fake_usb_deny_access(int bus, int address, int deny) {
  std::lock_guard<std::recursive_mutex> g(g_m);
  if (libusb_device* d = Find(bus, address)) d->denied = deny != 0;
}

EXPORT int fake_usb_open_handles() {
  std::lock_guard<std::recursive_mutex> g(g_m);
  return g_handles;
}

EXPORT int libusb_init(libusb_context** ctx) {
  if (ctx) *ctx = new libusb_context;
  return 0;
}

EXPORT void libusb_exit(libusb_context* ctx) { delete ctx; }

EXPORT ssize_t libusb_get_device_list(libusb_context*, libusb_device*** list) {
  std::lock_guard<std::recursive_mutex> g(g_m);
  auto** out = static_cast<libusb_device**>(std::calloc(g_devices.size() + 1, sizeof(libusb_device*)));
  ssize_t n = 0;
  for (auto& entry : g_devices)
    if (!Gone(entry.second)) out[n++] = entry.second;
  *list = out;
  return n;
}

EXPORT void libusb_free_device_list(libusb_device** list, int) { std::free(list); }
EXPORT libusb_device* libusb_ref_device(libusb_device* d) { return d; }
EXPORT void libusb_unref_device(libusb_device*) {}
EXPORT uint8_t libusb_get_bus_number(libusb_device* d) { return uint8_t(d->bus); }
EXPORT uint8_t libusb_get_device_address(libusb_device* d) { return uint8_t(d->address); }

EXPORT int libusb_get_device_descriptor(libusb_device* d, libusb_device_descriptor* desc) {
  if (Gone(d)) return LIBUSB_ERROR_NO_DEVICE;
  std::memset(desc, 0, sizeof *desc);
  desc->bLength = LIBUSB_DT_DEVICE_SIZE;
  desc->bDescriptorType = LIBUSB_DT_DEVICE;
  desc->bcdUSB = 0x0200;
  desc->bMaxPacketSize0 = 8;
  desc->idVendor = d->function->VendorId();
  desc->idProduct = d->function->ProductId();
  desc->bcdDevice = d->function->BcdDevice();
  desc->iManufacturer = 1;
  desc->iProduct = 2;
  desc->iSerialNumber = 3;
  desc->bNumConfigurations = 1;
  return 0;
}

// One configuration, one interface, bulk-in 0x81 and bulk-out 0x02 of 64
// bytes, as full-speed chips of this kind describe themselves.
EXPORT int libusb_get_config_descriptor(libusb_device* d, uint8_t index, libusb_config_descriptor** config) {
  if (Gone(d)) return LIBUSB_ERROR_NO_DEVICE;
  if (index != 0) return LIBUSB_ERROR_NOT_FOUND;
  auto* endpoints = static_cast<libusb_endpoint_descriptor*>(std::calloc(2, sizeof(libusb_endpoint_descriptor)));
  for (int i = 0; i < 2; ++i) {
    endpoints[i].bLength = LIBUSB_DT_ENDPOINT_SIZE;
    endpoints[i].bDescriptorType = LIBUSB_DT_ENDPOINT;
    endpoints[i].bEndpointAddress = i == 0 ? 0x81 : 0x02;
    endpoints[i].bmAttributes = LIBUSB_TRANSFER_TYPE_BULK;
    endpoints[i].wMaxPacketSize = 64;
  }
  auto* alt = static_cast<libusb_interface_descriptor*>(std::calloc(1, sizeof(libusb_interface_descriptor)));
  alt->bLength = LIBUSB_DT_INTERFACE_SIZE;
  alt->bDescriptorType = LIBUSB_DT_INTERFACE;
  alt->bNumEndpoints = 2;
  alt->bInterfaceClass = LIBUSB_CLASS_VENDOR_SPEC;
  alt->endpoint = endpoints;
  auto* iface = static_cast<libusb_interface*>(std::calloc(1, sizeof(libusb_interface)));
  iface->altsetting = alt;
  iface->num_altsetting = 1;
  auto* c = static_cast<libusb_config_descriptor*>(std::calloc(1, sizeof(libusb_config_descriptor)));
  c->bLength = LIBUSB_DT_CONFIG_SIZE;
  c->bDescriptorType = LIBUSB_DT_CONFIG;
  c->bNumInterfaces = 1;
  c->bConfigurationValue = 1;
  c->MaxPower = 45;
  c->interface = iface;
  *config = c;
  return 0;
}

EXPORT void libusb_free_config_descriptor(libusb_config_descriptor* c) {
  if (!c) return;
  std::free(const_cast<libusb_endpoint_descriptor*>(c->interface->altsetting->endpoint));
  std::free(const_cast<libusb_interface_descriptor*>(c->interface->altsetting));
  std::free(const_cast<libusb_interface*>(c->interface));
  std::free(c);
}

EXPORT int libusb_open(libusb_device* d, libusb_device_handle** handle) {
  std::lock_guard<std::recursive_mutex> g(g_m);
  if (Gone(d)) return LIBUSB_ERROR_NO_DEVICE;
  if (d->denied) return LIBUSB_ERROR_ACCESS;
  auto* h = new libusb_device_handle;
  h->device = d;
  *handle = h;
  ++g_handles;
  d->function->Opened();
  return 0;
}

EXPORT int libusb_release_interface(libusb_device_handle* h, int) {
  std::lock_guard<std::recursive_mutex> g(g_m);
  if (!h->claimed) return LIBUSB_ERROR_NOT_FOUND;
  h->claimed = false;
  // The kernel binds its driver again even to a device that has gone: it
  // comes back bound when plugged in again.
  if (h->detachedByClaim) h->device->driverBound = true;
  h->detachedByClaim = false;
  return Gone(h->device) ? LIBUSB_ERROR_NO_DEVICE : 0;
}

EXPORT void libusb_close(libusb_device_handle* h) {
  if (!h) return;
  std::lock_guard<std::recursive_mutex> g(g_m);
  if (h->claimed) libusb_release_interface(h, 0);
  if (h->device->function) h->device->function->Closed();
  --g_handles;
  delete h;
}

EXPORT int libusb_get_string_descriptor_ascii(libusb_device_handle* h, uint8_t index, unsigned char* data,
                                              int length) {
  if (Gone(h->device)) return LIBUSB_ERROR_NO_DEVICE;
  const char* s = index == 1   ? "FTDI"
                  : index == 2 ? h->device->function->Description()
                  : index == 3 ? h->device->function->SerialNumber()
                               : nullptr;
  if (!s) return LIBUSB_ERROR_INVALID_PARAM;
  int n = int(std::strlen(s));
  if (n >= length) n = length - 1;
  std::memcpy(data, s, size_t(n));
  data[n] = 0;
  return n;
}

EXPORT int libusb_get_configuration(libusb_device_handle* h, int* config) {
  if (Gone(h->device)) return LIBUSB_ERROR_NO_DEVICE;
  *config = 1;
  return 0;
}

EXPORT int libusb_set_configuration(libusb_device_handle* h, int config) {
  if (Gone(h->device)) return LIBUSB_ERROR_NO_DEVICE;
  return config == 1 ? 0 : LIBUSB_ERROR_NOT_FOUND;
}

EXPORT int libusb_set_auto_detach_kernel_driver(libusb_device_handle* h, int enable) {
  h->autoDetach = enable != 0;
  return 0;
}

EXPORT int libusb_detach_kernel_driver(libusb_device_handle* h, int) {
  std::lock_guard<std::recursive_mutex> g(g_m);
  if (Gone(h->device)) return LIBUSB_ERROR_NO_DEVICE;
  if (!h->device->driverBound) return LIBUSB_ERROR_NOT_FOUND;
  h->device->driverBound = false;
  return 0;
}

EXPORT int libusb_claim_interface(libusb_device_handle* h, int iface) {
  std::lock_guard<std::recursive_mutex> g(g_m);
  if (Gone(h->device)) return LIBUSB_ERROR_NO_DEVICE;
  if (iface != 0) return LIBUSB_ERROR_NOT_FOUND;
  if (h->device->driverBound) {
    if (!h->autoDetach) return LIBUSB_ERROR_BUSY;
    h->device->driverBound = false;
    h->detachedByClaim = true;
  }
  h->claimed = true;
  return 0;
}

EXPORT int libusb_control_transfer(libusb_device_handle* h, uint8_t requestType, uint8_t request, uint16_t value,
                                   uint16_t index, unsigned char* data, uint16_t length, unsigned int) {
  if (!h->device->function) return LIBUSB_ERROR_NO_DEVICE;
  return h->device->function->Control(requestType, request, value, index, data, length);
}

EXPORT int libusb_bulk_transfer(libusb_device_handle* h, unsigned char endpoint, unsigned char* data, int length,
                                int* transferred, unsigned int timeoutMs) {
  int moved = 0;
  if (!h->device->function) return LIBUSB_ERROR_NO_DEVICE;
  if (!h->claimed) return LIBUSB_ERROR_IO;
  int r = (endpoint & 0x80) ? h->device->function->BulkIn(data, length, &moved, timeoutMs)
                            : h->device->function->BulkOut(data, length, &moved, timeoutMs);
  if (transferred) *transferred = moved;
  return r;
}

EXPORT libusb_transfer* libusb_alloc_transfer(int isoPackets) {
  return static_cast<libusb_transfer*>(
      std::calloc(1, sizeof(libusb_transfer) + size_t(isoPackets) * sizeof(libusb_iso_packet_descriptor)));
}
EXPORT void libusb_free_transfer(libusb_transfer* t) { std::free(t); }
namespace {

// A transfer submitted and not yet handed back, in submission order. One
// thread at a time submits and handles events (the cycle's), and the chip may
// wait on the tests' clock meanwhile, so no lock is held here.
struct Flight {
  libusb_transfer* t;
  int64_t dueUs;       // its round trip has passed
  int64_t deadlineUs;  // its timeout
  bool cancelled;
};
std::vector<Flight> g_flight;

UsbFunction* FunctionOf(const libusb_transfer* t) {
  UsbFunction* f = t->dev_handle->device->function;
  return f && !f->Unplugged() ? f : nullptr;
}

void Complete(size_t i, libusb_transfer_status status) {
  libusb_transfer* t = g_flight[i].t;
  g_flight.erase(g_flight.begin() + long(i));
  t->status = status;
  if (t->callback) t->callback(t);
}

// Moves what is in flight on until one transfer has been handed back through
// its callback (at once when nothing is in flight). Writes go first: a read
// due at the same moment sees the samples of the bytes the chip took.
void HandleEvents() {
  while (!g_flight.empty()) {
    for (size_t i = 0; i < g_flight.size(); ++i) {
      if (g_flight[i].cancelled) return Complete(i, LIBUSB_TRANSFER_CANCELLED);
      if (!FunctionOf(g_flight[i].t)) return Complete(i, LIBUSB_TRANSFER_NO_DEVICE);
    }
    UsbFunction* clock = FunctionOf(g_flight[0].t);
    int64_t due = INT64_MAX;
    for (const Flight& f : g_flight) due = std::min(due, f.dueUs);
    if (due > clock->NowUs()) {
      clock->WaitUntilUs(due);
      continue;
    }
    bool writing = false, moved = false;
    for (size_t i = 0; i < g_flight.size(); ++i) {
      libusb_transfer* t = g_flight[i].t;
      if ((t->endpoint & 0x80) || g_flight[i].dueUs > clock->NowUs()) continue;
      int n = FunctionOf(t)->TakeOut(t->buffer + t->actual_length, t->length - t->actual_length);
      t->actual_length += n;
      moved = moved || n > 0;
      if (t->actual_length == t->length) return Complete(i, LIBUSB_TRANSFER_COMPLETED);
      writing = true;
    }
    for (size_t i = 0; i < g_flight.size(); ++i) {
      libusb_transfer* t = g_flight[i].t;
      if (!(t->endpoint & 0x80) || g_flight[i].dueUs > clock->NowUs()) continue;
      bool ended = false;
      int room = t->length - t->actual_length;
      int n = FunctionOf(t)->GiveIn(t->buffer + t->actual_length, room, writing && room >= 64, &ended);
      t->actual_length += n;
      moved = moved || n > 0;
      if (ended || t->actual_length + 2 > t->length) return Complete(i, LIBUSB_TRANSFER_COMPLETED);
    }
    if (!moved) {
      // A write whose samples nobody drains: the chip refuses it until a
      // read comes or the host gives up.
      size_t first = 0;
      int64_t next = INT64_MAX;
      for (size_t i = 0; i < g_flight.size(); ++i) {
        if (g_flight[i].deadlineUs < g_flight[first].deadlineUs) first = i;
        if (g_flight[i].dueUs > clock->NowUs()) next = std::min(next, g_flight[i].dueUs);
      }
      if (next < g_flight[first].deadlineUs) {
        clock->WaitUntilUs(next);
        continue;
      }
      clock->WaitUntilUs(g_flight[first].deadlineUs);
      return Complete(first, LIBUSB_TRANSFER_TIMED_OUT);
    }
  }
}

}  // namespace

EXPORT int libusb_submit_transfer(libusb_transfer* t) {
  UsbFunction* f = FunctionOf(t);
  if (!f || !f->Reached()) return LIBUSB_ERROR_NO_DEVICE;
  if (!t->dev_handle->claimed) return LIBUSB_ERROR_IO;
  int64_t now = f->NowUs();
  t->actual_length = 0;
  g_flight.push_back(Flight{t, now + f->RoundTripUs(), t->timeout ? now + int64_t(t->timeout) * 1000 : INT64_MAX,
                            false});
  return 0;
}

EXPORT int libusb_cancel_transfer(libusb_transfer* t) {
  for (Flight& f : g_flight)
    if (f.t == t && !f.cancelled) {
      f.cancelled = true;
      return 0;
    }
  return LIBUSB_ERROR_NOT_FOUND;
}

EXPORT int libusb_handle_events_timeout(libusb_context*, timeval*) {
  HandleEvents();
  return 0;
}

EXPORT int libusb_handle_events_timeout_completed(libusb_context*, timeval*, int* completed) {
  if (!completed || !*completed) HandleEvents();
  return 0;
}
