#include "platform/break_decode.h"

namespace plat {

int DecodeMarkedInput(MarkDecoder* d, const uint8_t* raw, size_t n, std::vector<uint8_t>* out) {
  int breaks = 0;
  for (size_t i = 0; i < n; ++i) {
    uint8_t b = raw[i];
    switch (d->state) {
      case 0:
        if (b == 0xFF)
          d->state = 1;
        else
          out->push_back(b);
        break;
      case 1:
        if (b == 0xFF) {
          out->push_back(0xFF);
          d->state = 0;
        } else if (b == 0x00) {
          d->state = 2;
        } else {
          // Not a mark the driver makes; keep both bytes rather than lose one.
          out->push_back(0xFF);
          out->push_back(b);
          d->state = 0;
        }
        break;
      default:
        if (b == 0x00)
          ++breaks;
        else
          out->push_back(b);  // a byte with a framing or parity error
        d->state = 0;
        break;
    }
  }
  return breaks;
}

}  // namespace plat
