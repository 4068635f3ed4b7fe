#include "engine/runtime/problem_screen.h"

#include <algorithm>

#include "engine/resources/sjis_text.h"
#include "platform/text.h"

namespace sorel {
namespace {

// Colour references (0x00BBGGRR).
constexpr ColourRef kHeading = 0x40C4FF;  // amber
constexpr ColourRef kProblem = 0xFFFFFF;
constexpr ColourRef kRemedy = 0xFFD296;   // light blue
constexpr ColourRef kFooter = 0xAAAAAA;
constexpr uint8_t kBackground[3] = {40, 24, 20};  // blue, green, red

/// UTF-8 to CP932, one character at a time: what CP932 cannot hold becomes '?'.
std::string shownText(std::string_view utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const auto b = uint8_t(utf8[i]);
    size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 1;
    len = std::min(len, utf8.size() - i);
    if (auto c = platform::utf8ToCp932(utf8.substr(i, len))) out += *c;
    else out += '?';
    i += len;
  }
  return out;
}

/// Cuts a CP932 text into pieces of at most maxUnits half-width units (a double-byte character is
/// two), after a space, '/' or ',' in the second half of a piece where there is one.
std::vector<std::string> wrapText(std::string_view text, size_t maxUnits) {
  std::vector<std::string> pieces;
  maxUnits = std::max<size_t>(maxUnits, 2);
  while (!text.empty()) {
    // The longest head that fits, whole characters only.
    size_t end = 0, units = 0, goodBreak = 0;
    while (end < text.size()) {
      const bool pair = isLeadByte(uint8_t(text[end])) && end + 1 < text.size();
      const size_t w = pair ? 2 : 1;
      if (units + w > maxUnits) break;
      units += w;
      end += pair ? 2 : 1;
      const char c = text[end - 1];
      if (!pair && (c == ' ' || c == '/' || c == ',') && units * 2 > maxUnits) goodBreak = end;
    }
    if (end < text.size() && goodBreak) end = goodBreak;
    std::string_view piece = text.substr(0, end);
    while (!piece.empty() && piece.back() == ' ') piece.remove_suffix(1);
    pieces.emplace_back(piece);
    text.remove_prefix(end);
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  }
  return pieces;
}

}  // namespace

bool blocksTheGame(const std::vector<DataProblem>& problems) {
  return std::any_of(problems.begin(), problems.end(),
                     [](const DataProblem& p) { return p.weight == DataProblem::Weight::Blocking; });
}

bool worthAScreen(const std::vector<DataProblem>& problems) {
  return std::any_of(problems.begin(), problems.end(),
                     [](const DataProblem& p) { return p.weight != DataProblem::Weight::Note; });
}

std::vector<ProblemScreenLine> layoutProblemScreen(const std::vector<DataProblem>& problems, int width, int height) {
  const bool large = width >= 640;
  const int size = large ? 20 : 12;
  const int headingSize = large ? 28 : 16;
  // The small screen needs every line it has: narrower margins, closer lines.
  const int margin = large ? size : 8;
  const int lineHeight = large ? size + size / 3 : size + 2;
  const size_t units = size_t(std::max(8, (width - 2 * margin) / (size / 2)));
  const bool blocking = blocksTheGame(problems);

  std::vector<ProblemScreenLine> lines;
  int y = margin;
  auto add = [&](std::string_view utf8, int x, int s, ColourRef colour) {
    lines.push_back({shownText(utf8), x, y, s, colour});
  };
  add(blocking ? "ゲームを表示できません" : "音の一部が出ません", margin, headingSize, kHeading);
  y += headingSize + headingSize / 4;
  add(blocking ? "The game cannot be shown from this data folder." : "The game plays without some of its sound.",
      margin, size, kHeading);
  y += lineHeight + size / 2;

  // The footer says how to go on; the problems fill the space above it.
  std::vector<std::string> footer;
  for (const char* text : blocking ? std::vector<const char*>{"Put it right and start again. To quit, close the window "
                                                              "or choose 終了 in the menu (X, or the pad's Start)."}
                                   : std::vector<const char*>{"Tap, or press → or C, to play on.",
                                                              "タップか → / C で続けます。"})
    for (std::string& piece : wrapText(shownText(text), units)) footer.push_back(std::move(piece));
  const int footerTop = height - margin - int(footer.size()) * lineHeight + (lineHeight - size);
  bool cut = false;
  auto addWrapped = [&](const std::string& utf8, const char* mark, ColourRef colour) {
    const std::string text = shownText(utf8);
    const std::vector<std::string> pieces = wrapText(text, units - 2);
    for (size_t i = 0; i < pieces.size() && !cut; ++i) {
      if (y + size > footerTop - lineHeight) {
        lines.push_back({shownText("…"), margin, y, size, kProblem});
        cut = true;
        break;
      }
      if (i == 0) lines.push_back({shownText(mark), margin, y, size, colour});
      lines.push_back({pieces[i], margin + size, y, size, colour});
      y += lineHeight;
    }
  };
  for (const DataProblem& p : problems) {
    addWrapped(p.what, "・", kProblem);
    addWrapped(p.todo, "→", kRemedy);
    y += size / 3;
    if (cut) break;
  }

  y = footerTop;
  for (std::string& f : footer) {
    lines.push_back({std::move(f), margin, y, size, kFooter});
    y += lineHeight;
  }
  return lines;
}

void drawProblemScreen(Surface& surface, TextRenderer& renderer, const std::vector<ProblemScreenLine>& lines) {
  for (int y = 0; y < surface.height; ++y) {
    uint8_t* row = surface.row(y);
    for (int x = 0; x < surface.width; ++x) std::copy(kBackground, kBackground + 3, row + size_t(x) * 3);
  }
  // The larger screen's text is smoothed; the small one stays crisp.
  const int f = surface.width >= 640 ? 2 : 1;
  for (const ProblemScreenLine& l : lines) {
    drawTextLine(renderer, surface, l.text, l.x, l.y, l.size, l.colour, f);
    // The font's underscore lies below its cell, where the glyph drawing cuts it off; paths are
    // full of them, so they are ruled in by hand.
    const uint8_t ink[3] = {uint8_t(l.colour >> 16), uint8_t(l.colour >> 8), uint8_t(l.colour)};
    int x = l.x;
    for (size_t i = 0; i < l.text.size(); ++i) {
      const bool pair = isLeadByte(uint8_t(l.text[i])) && i + 1 < l.text.size();
      if (l.text[i] == '_' && l.y + l.size - 1 < surface.height)
        for (int k = x; k < std::min(x + l.size / 2, surface.width); ++k)
          std::copy(ink, ink + 3, surface.row(l.y + l.size - 1) + size_t(k) * 3);
      x += pair ? l.size : l.size / 2;
      i += pair ? 1 : 0;
    }
  }
}

}  // namespace sorel
