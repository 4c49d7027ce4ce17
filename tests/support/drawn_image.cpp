#include "support/drawn_image.h"

#include <algorithm>
#include <cctype>

#include "support/test_support.h"

namespace {

constexpr int kImageTop = 0x1FE8;  // the serial-number record starts here

struct Record {
  int address;
  std::vector<uint8_t> data;
};

}  // namespace

DrawnImage DrawImage(std::mt19937_64& rng) {
  auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto chance = [&pick](int percent) { return pick(0, 99) < percent; };
  DrawnImage d;
  d.flash.assign(kImageTop, 0xFF);

  // Mostly small images, so that many draws fit in a test run; now and then
  // one up to the whole flash.
  int r = pick(0, 99);
  int length = r < 50 ? pick(0, 64) : r < 85 ? pick(65, 512) : r < 98 ? pick(513, 2048) : pick(2049, kImageTop);
  int start = chance(50) ? 0 : pick(0, kImageTop - length);
  std::vector<bool> covered(kImageTop, false);
  for (int a = start; a < start + length;) {
    int kind = pick(0, 9), run = 0;
    if (kind == 2 && a > start) {  // a gap: no record sets these cells
      a += pick(1, 40);
      continue;
    }
    run = std::min(kind == 0 ? pick(1, 6) : kind == 1 ? pick(1, 8) : pick(1, 16), start + length - a);
    for (int i = 0; i < run; ++i, ++a) {
      d.flash[size_t(a)] = kind == 0 ? 0x7F : kind == 1 ? 0xFF : uint8_t(pick(0, 255));
      covered[size_t(a)] = true;
    }
  }

  const int sizes[] = {1, 8, 16, 32, 255, 0};
  int perRecord = sizes[pick(0, 5)];
  std::vector<Record> records;
  for (int a = 0; a < kImageTop; ++a) {
    if (!covered[size_t(a)]) continue;
    int room = perRecord ? perRecord : pick(1, 64);
    if (records.empty() || records.back().address + int(records.back().data.size()) != a ||
        int(records.back().data.size()) >= room)
      records.push_back({a, {}});
    records.back().data.push_back(d.flash[size_t(a)]);
  }
  d.shape = "length=" + std::to_string(length) + " at=" + std::to_string(start) +
            " perRecord=" + std::to_string(perRecord);
  if (!records.empty() && chance(15)) {  // one address given the same byte twice
    const Record& r0 = records[size_t(pick(0, int(records.size()) - 1))];
    int from = pick(0, int(r0.data.size()) - 1), to = pick(from + 1, int(r0.data.size()));
    records.push_back({r0.address + from, {r0.data.begin() + from, r0.data.begin() + to}});
    d.shape += " repeated";
  }
  if (chance(5)) {
    records.push_back({pick(0, kImageTop - 1), {}});
    d.shape += " empty-record";
  }
  for (const Record& rec : records)
    for (uint8_t b : rec.data) {
      d.reads += 1;
      d.writes += b != 0xFF;
      d.holdsBusyLooking |= b == 0x7F;
    }
  if (chance(30)) {
    std::shuffle(records.begin(), records.end(), rng);
    d.shape += " shuffled";
  }

  std::vector<std::string> lines;
  for (const Record& rec : records) lines.push_back(HexRecord(int(rec.data.size()), rec.address, 0, rec.data));
  if (chance(10)) {  // address and start records, which put nothing into flash
    int type = pick(2, 5);
    std::vector<uint8_t> data(type == 2 || type == 4 ? 2 : 4, 0);
    if (type == 3 || type == 5)
      for (uint8_t& b : data) b = uint8_t(pick(0, 255));
    lines.insert(lines.begin() + pick(0, int(lines.size())), HexRecord(int(data.size()), 0, type, data));
    d.shape += " type" + std::to_string(type);
  }
  bool lower = chance(10), blanks = chance(15), blankLines = chance(10);
  const char* ends[] = {"\r\n", "\r\n", "\r\n", "\n", "\n", "\r"};
  std::string lineEnd = ends[pick(0, 5)];
  d.shape += lineEnd == "\r\n" ? " crlf" : lineEnd == "\n" ? " lf" : " cr";
  if (lower) d.shape += " lower";
  if (blanks) d.shape += " blanks-after-records";
  if (chance(10)) {
    d.hex = "; drawn image, no colon on this line" + lineEnd;
    d.shape += " header";
  }
  lines.push_back(":00000001FF");
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string line = lines[i];
    if (lower) std::transform(line.begin(), line.end(), line.begin(), [](char c) { return char(std::tolower(c)); });
    if (blanks && chance(30)) line += pick(0, 1) ? " " : pick(0, 1) ? "\t" : " \t ";
    if (blankLines && chance(20)) line += lineEnd;
    d.hex += line + (i + 1 < lines.size() ? lineEnd : "");
  }
  // What follows the end record: a line end, or an end-of-file character
  // (with or without one before it), or NUL padding, or nothing at all.
  switch (pick(0, 9)) {
    case 0: d.hex += lineEnd + "\x1A"; d.shape += " eof-char"; break;
    case 1: d.hex += "\x1A"; d.shape += " eof-char-on-end-line"; break;
    case 2: d.hex += lineEnd + std::string(size_t(pick(1, 16)), '\0'); d.shape += " nuls"; break;
    case 3: d.shape += " no-final-line-end"; break;
    default: d.hex += lineEnd;
  }
  return d;
}
