// Decoding of a receive stream in which the terminal driver marks a received
// break in-band (termios PARMRK): 0xFF 0x00 0x00 is a break, 0xFF 0xFF a data
// byte 0xFF, 0xFF 0x00 X a byte X received with an error. A sequence cut by
// the end of one read continues in the next.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace plat {

struct MarkDecoder {
  int state = 0;  // 0 plain, 1 after 0xFF, 2 after 0xFF 0x00
};

// Appends the data bytes of raw[0..n) to out and returns how many breaks it
// held. Data before and after a break are kept, in order.
int DecodeMarkedInput(MarkDecoder* decoder, const uint8_t* raw, size_t n, std::vector<uint8_t>* out);

}  // namespace plat
