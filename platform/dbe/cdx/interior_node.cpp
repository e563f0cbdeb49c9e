#include "interior_node.h"

#include <cstring>

namespace dbe::cdx {

bool checkInterior(const Page& page, std::size_t keyLength, std::string* fault) {
  const InteriorView v(page, keyLength);
  const std::size_t cap = interiorCapacity(keyLength);
  if (v.count() == 0) {
    *fault = "holds no keys";
    return false;
  }
  if (v.count() > cap) {
    *fault = "holds " + std::to_string(v.count()) + " keys, more than the " + std::to_string(cap) +
             " that fit";
    return false;
  }
  for (std::size_t i = 0; i < v.count(); ++i) {
    if (!isNodeOffset(v.child(i))) {
      *fault = "key " + std::to_string(i) + ": child pointer " + hexOffset(v.child(i)) +
               " is not a node offset";
      return false;
    }
  }
  return true;
}

void decodeInterior(const Page& page, std::size_t keyLength, InteriorEntries* out) {
  const InteriorView v(page, keyLength);
  out->entries.reset(keyLength);
  out->entries.grow(v.count());
  out->children.resize(v.count());
  for (std::size_t i = 0; i < v.count(); ++i) {
    std::memcpy(out->entries.mutableKey(i), v.keyData(i), keyLength);
    out->entries.setRecno(i, v.recno(i));
    out->children[i] = v.child(i);
  }
}

void encodeInterior(const InteriorEntries& in, std::size_t begin, std::size_t end,
                    NodeHeader header, Page* out) {
  Page& p = *out;
  p.fill(0);
  const std::size_t len = in.entries.keyLength();
  header.count = static_cast<std::uint16_t>(end - begin);
  writeNodeHeader(header, out);
  std::uint8_t* e = &p[kNodeHeaderSize];
  for (std::size_t i = begin; i < end; ++i, e += len + 8) {
    std::memcpy(e, in.entries.keyData(i), len);
    storeBe32(e + len, in.entries.recno(i));
    storeBe32(e + len + 4, in.children[i]);
  }
}

}  // namespace dbe::cdx
