#include "tools/pac_writer.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "converter/lzss_tree.h"
#include "converter/pac_format.h"
#include "engine/resources/byte_io.h"
#include "platform/files.h"

namespace sorel {
namespace {

// The PC archives' LZSS: the shared tree compressor with a 4096-byte ring and matches of 3..18.
using PacLzssEncoder = lzss::TreeEncoder<static_cast<int>(pac::kRingSize), static_cast<int>(pac::kMaxMatch),
                                         static_cast<int>(pac::kMinMatch)>;
static_assert(pac::kRingStart == pac::kRingSize - pac::kMaxMatch, "the encoder starts writing where the decoder does");

// Huffman tree over byte values: nodes 0..255 are leaves, 256.. inner nodes.
struct HuffmanBuild {
  std::vector<int> left, right;  // per inner node
  int root = -1;
};

HuffmanBuild buildTree(const uint64_t (&counts)[256]) {
  struct Node {
    uint64_t count;
    int order;  // deterministic tie-break: earlier nodes first
    int id;
  };
  std::vector<Node> live;
  for (int s = 0; s < 256; ++s)
    if (counts[s]) live.push_back({counts[s], s, s});
  // A tree needs two leaves; add the neighbouring byte value with count 0 when there are fewer.
  for (int s = 0; live.size() < 2; ++s)
    if (std::none_of(live.begin(), live.end(), [&](const Node& n) { return n.id == s; })) live.push_back({0, s, s});
  HuffmanBuild b;
  auto less = [](const Node& a, const Node& c) { return a.count != c.count ? a.count < c.count : a.order < c.order; };
  int nextOrder = 256;
  while (live.size() > 1) {
    std::sort(live.begin(), live.end(), less);
    Node a = live[0], c = live[1];
    live.erase(live.begin(), live.begin() + 2);
    int id = 256 + static_cast<int>(b.left.size());
    b.left.push_back(a.id);
    b.right.push_back(c.id);
    live.push_back({a.count + c.count, nextOrder++, id});
  }
  b.root = live[0].id;
  return b;
}

class BitWriter {
 public:
  void bit(unsigned b) {
    if (m_used == 0) m_out.push_back(0);
    if (b) m_out.back() |= static_cast<uint8_t>(0x80u >> m_used);
    m_used = (m_used + 1) & 7;
  }
  void bits(unsigned value, int n) {
    for (int i = n - 1; i >= 0; --i) bit((value >> i) & 1u);
  }
  std::vector<uint8_t> take() { return std::move(m_out); }

 private:
  std::vector<uint8_t> m_out;
  int m_used = 0;
};

void writeTree(const HuffmanBuild& t, int node, BitWriter& w) {
  if (node < 256) {
    w.bit(0);
    w.bits(static_cast<unsigned>(node), 8);
    return;
  }
  w.bit(1);
  writeTree(t, t.left[node - 256], w);
  writeTree(t, t.right[node - 256], w);
}

void collectCodes(const HuffmanBuild& t, int node, std::vector<uint8_t>& path, std::vector<std::vector<uint8_t>>& codes) {
  if (node < 256) {
    codes[node] = path;
    return;
  }
  path.push_back(0);
  collectCodes(t, t.left[node - 256], path, codes);
  path.back() = 1;
  collectCodes(t, t.right[node - 256], path, codes);
  path.pop_back();
}

}  // namespace

std::vector<uint8_t> encodePacLzss(std::span<const uint8_t> input) {
  std::vector<uint8_t> output(input.size() * 2 + 2);
  output.resize(PacLzssEncoder::encode(output.data(), input));
  return output;
}

std::vector<uint8_t> encodePacHuffman(std::span<const uint8_t> input) {
  uint64_t counts[256] = {};
  for (uint8_t b : input) ++counts[b];
  HuffmanBuild tree = buildTree(counts);
  std::vector<std::vector<uint8_t>> codes(256);
  std::vector<uint8_t> path;
  collectCodes(tree, tree.root, path, codes);
  BitWriter w;
  writeTree(tree, tree.root, w);
  for (uint8_t b : input)
    for (uint8_t bit : codes[b]) w.bit(bit);
  return w.take();
}

std::optional<std::vector<uint8_t>> buildPac(std::span<const PacMember> members, uint32_t method) {
  std::vector<std::vector<uint8_t>> packed;
  packed.reserve(members.size());
  uint64_t offset = pac::kHeaderSize + uint64_t(pac::kEntrySize) * members.size();
  for (const PacMember& m : members) {
    if (m.name.empty() || m.name.size() >= pac::kNameSize || m.name.find('\0') != std::string::npos)
      return std::nullopt;
    if (method == pac::kMethodStored) packed.emplace_back(m.bytes);
    else if (method == pac::kMethodLzss) packed.push_back(encodePacLzss(m.bytes));
    else packed.push_back(encodePacHuffman(m.bytes));
  }
  uint64_t total = offset;
  for (const auto& p : packed) total += p.size();
  if (total > 0xFFFFFFFFull) return std::nullopt;

  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(total));
  ByteWriter w(out);
  w.bytes(pac::kWriterSignature);
  w.u32(static_cast<uint32_t>(members.size()));
  w.u32(method);
  for (size_t i = 0; i < members.size(); ++i) {
    w.fixedText(members[i].name, pac::kNameSize);
    w.u32(static_cast<uint32_t>(offset));
    w.u32(static_cast<uint32_t>(members[i].bytes.size()));
    w.u32(static_cast<uint32_t>(packed[i].size()));
    offset += packed[i].size();
  }
  for (const auto& p : packed) w.bytes(p);
  return out;
}

bool writePac(std::string_view path, std::span<const PacMember> members, uint32_t method) {
  auto image = buildPac(members, method);
  return image && platform::writeWholeFile(path, *image, false);
}

}  // namespace sorel
