#pragma once
// The save file: the 9624-byte save block (the story's snapshot, taken when a message or a
// choice begins), the thumbnail (a 16-bit Windows BMP of the screen) and the backlog data.
// Written and read field by field with little-endian helpers; nothing here copies a structure
// over file bytes. A file is read whole and checked before anything of the running game changes.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/story/backlog.h"
#include "engine/story/game.h"
#include "engine/story/script_state.h"
#include "engine/graphics/picture.h"

namespace sorel {

constexpr size_t kSaveBlockSize = 9624;
/// The menu's save slots are 0..14; the automatic save made on deciding a choice is slot
/// kChoiceSaveSlot (600, the story's).
constexpr int kSaveSlotCount = 15;
/// Room for the backlog data of one save (256 entries of at most 4 + 32 + 215 bytes fit).
constexpr size_t kBacklogDataLimit = 128 * 1024;

/// Field offsets of the save block.
namespace save_field {
constexpr size_t kMagic = 0;          ///< "QVD" and the version digit
constexpr size_t kThumbnail = 4;      ///< u32 offset of the thumbnail (the block size)
constexpr size_t kTimeText = 8;       ///< char[20] "%z4-%z2-%z2 %z2:%z2:%z2"
constexpr size_t kTitle = 28;         ///< char[64] chapter title
constexpr size_t kTime = 92;          ///< 6 × u32 year, month, day, hour, minute, second
constexpr size_t kVisual = 116;       ///< i32 scene picture index
constexpr size_t kStand = 120;        ///< 3 × i32 sprite index (centre, left, right)
constexpr size_t kStandName = 132;    ///< 3 × char[24]
constexpr size_t kScenario = 204;     ///< char[32]
constexpr size_t kMusic = 236;        ///< char[32]
constexpr size_t kUnused = 268;       ///< char[32], empty
constexpr size_t kLoopSe = 300;       ///< 2 × char[32]
constexpr size_t kStack = 364;        ///< u32 count, 16 × {u32 kind, i32 value, char[256]}
constexpr size_t kStrings = 4592;     ///< 32 × char[128]
constexpr size_t kEffect = 8688;      ///< active, opcode (u16 + 2 padding), step, parameter, scratch
constexpr size_t kMessage = 8708;     ///< the message state, 292 bytes
constexpr size_t kChoices = 9000;     ///< count, chosen, 6 values, 6 × char[64]
constexpr size_t kWindow = 9416;      ///< windowShown, windowCreated, windowStyle, pictureTint, dimmed
constexpr size_t kVars = 9436;        ///< 16 × i32
constexpr size_t kFlags = 9500;       ///< flags[1..24]
constexpr size_t kGameMode = 9596;
constexpr size_t kSubMode = 9600;
constexpr size_t kPc = 9604;
constexpr size_t kRepeat = 9608;
constexpr size_t kBrightness = 9612;
constexpr size_t kClearToGrey = 9616;
constexpr size_t kClearBeforeDraw = 9620;
constexpr size_t kStackEntrySize = 264;
constexpr size_t kMessageSize = 292;
}  // namespace save_field

/// The local time of a save.
struct SaveTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

/// Everything the save block holds, as fields.
struct SaveSnapshot {
  char version = '3';
  std::string timeText;
  std::string title;
  SaveTime time;
  int32_t visual = -1;
  std::array<int32_t, 3> stand{-1, -1, -1};
  std::array<std::array<char, 24>, 3> standName{};
  std::array<char, 32> scenario{};
  std::array<char, 32> music{};
  std::array<std::array<char, 32>, 2> loopSe{};
  OperandStack stack;
  StringVars strings;
  ScreenEffectState effect;
  MessageState message;
  uint32_t messageCleared = 0;  ///< the word the message clears each time it starts
  uint32_t markerLayer = 0;     ///< the click marker's layer existed
  ChoiceList choices;
  uint32_t windowShown = 0, windowCreated = 0, windowStyle = 0, pictureTint = 0, dimmed = 0;
  std::array<int32_t, ScriptState::kVars> vars{};
  std::array<uint32_t, ScriptState::kFlags + 1> flags{};  ///< 1..24 used
  uint32_t gameMode = 0, subMode = 0, pc = 0, repeat = 0;
  uint32_t brightness = 256, clearToGrey = 0, clearBeforeDraw = 1;
};

/// Why a save file was refused.
enum class SaveFileError {
  None,
  Missing,        ///< no such file, or unreadable
  Short,          ///< shorter than the block
  Magic,          ///< not "QVD" with a version digit 1..9
  Stack,          ///< more than 16 stack entries
  Text,           ///< a text field without its NUL
  Thumbnail,      ///< the thumbnail offset or its BMP header does not fit the file
  Backlog,        ///< backlog lengths run past the end or disagree
  Scenario,       ///< the scenario cannot be loaded
};
const char* describe(SaveFileError e);

/// "save%z3.dat" for slot index s (numbered s + 1; slot 0 is "save001.dat").
std::string saveFileName(int slot);
/// The system data file's name, "save000.dat".
std::string_view systemDataFileName();

/// The chapter title of a scenario member ("-導入-"), empty for scenarios without one.
std::string_view chapterTitle(std::string_view scenario);
/// "%z4-%z2-%z2 %z2:%z2:%z2".
std::string timeText(const SaveTime& t);

/// Writes the block (magic "QVD3", the offset 9624 and every field) into out.
void writeSaveBlock(const SaveSnapshot& s, std::span<uint8_t, kSaveBlockSize> out);
/// Stores the time as numbers (offset 92) and as text (offset 8).
void stampSaveTime(std::span<uint8_t, kSaveBlockSize> block, const SaveTime& t);
/// Reads a block; none (with the reason) when the magic, the stack count or a text field is bad.
std::optional<SaveSnapshot> readSaveBlock(std::span<const uint8_t> bytes, SaveFileError* why = nullptr);

/// The backlog data: four zero bytes when empty, else the count, the entries newest first
/// (speaker, voice NUL-terminated, text NUL-terminated) and the length of all that.
std::vector<uint8_t> serialiseBacklog(const Backlog& backlog);
/// The entries of backlog data at the start of bytes (newest first); none when a length runs
/// past the end or the closing length disagrees. `used` receives the bytes it took.
std::optional<std::vector<BacklogEntry>> parseBacklog(std::span<const uint8_t> bytes, size_t* used = nullptr);

/// The thumbnail size of the mode: 160 × 128 on a 640-wide design screen, else 80 × 64.
void thumbnailSize(bool vga, int& w, int& h);
/// The screen scaled down to a w × h 16-bit BMP (each pixel the box average of its screen area,
/// box edges on a 10-bit fixed-point step).
std::vector<uint8_t> makeThumbnail(const Surface& screen, int w, int h);
/// The box filter alone, into w × h RGB565 values, rows top-down (benchmarks, tests).
void boxFilter565(const Surface& screen, int w, int h, uint16_t* out);
/// The thumbnail of a save file as a picture, when the offset at 4 is the block size, the header
/// is "BM" with the mode's size and the pixels lie within the file; otherwise none.
std::optional<Picture> thumbnailPicture(std::span<const uint8_t> file, bool vga);

/// A whole save file, checked.
struct SaveFile {
  SaveSnapshot snapshot;
  std::vector<BacklogEntry> backlog;  ///< newest first; empty for version 1 and 2 files
  size_t backlogAt = 0;               ///< where the backlog data begins
  size_t end = 0;                     ///< where the backlog data ended (backlogAt without any)
};
/// Checks a whole save file: the block, the thumbnail offset and BMP header, and (versions 3 to
/// 9) the backlog data.
std::optional<SaveFile> readSaveFile(std::span<const uint8_t> bytes, SaveFileError* why = nullptr);
/// The file a save writes: the block with the time stamped, the thumbnail, the backlog data.
std::vector<uint8_t> buildSaveFile(std::span<const uint8_t, kSaveBlockSize> block, const SaveTime& t,
                                   std::span<const uint8_t> thumbnail, std::span<const uint8_t> backlogData);

/// True when the file is a complete save as buildSaveFile writes one: it reads, and the
/// backlog data ends exactly at the end of the file.
bool isCompleteSaveFile(std::span<const uint8_t> bytes);

}  // namespace sorel
