// The Linux INI stand-in against the real private-profile service: the same
// operations run through Win32IniPort and StandInIniPort on copies of the same
// starting file, and every result and the final bytes of the file must be the
// same. Where the two differ on purpose (the stand-in follows Windows where
// Wine does not), the difference is pinned in its own test below.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/linux/ini/code_pages.h"
#include "platform/linux/ini_port.h"
#include "platform/win32/ini_port.h"
#include "settings/settings_file.h"
#include "settings/validation.h"

namespace qx27 {
namespace {

namespace fs = std::filesystem;

// ---- files -----------------------------------------------------------------------

std::string ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return "<no file>";
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& file, std::string_view bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::u16string PortPath(const fs::path& file) {
  const std::wstring wide = file.wstring();
  return {wide.begin(), wide.end()};
}

// The text with a byte-order mark, in either byte order.
std::string Utf16(std::u16string_view text, bool big_endian = false) {
  std::string bytes = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char16_t unit : text) {
    const auto high = static_cast<char>(unit >> 8);
    const auto low = static_cast<char>(unit & 0xFF);
    bytes.push_back(big_endian ? high : low);
    bytes.push_back(big_endian ? low : high);
  }
  return bytes;
}

// Readable form of text (UTF-16 units) or bytes for failure messages.
template <typename Text>
std::string Show(const Text& text) {
  std::string out;
  char hex[12];
  for (const auto c : text) {
    const auto unit = static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<decltype(c)>>(c));
    if (unit >= 0x20 && unit < 0x7F && unit != '\\') {
      out.push_back(static_cast<char>(unit));
    } else {
      std::snprintf(hex, sizeof hex, sizeof(c) == 1 ? "\\x%02X" : "\\u%04X", static_cast<unsigned>(unit));
      out += hex;
    }
  }
  return out;
}

// A folder of its own for every run, so no cached state of the service can
// carry over from one file to the next.
class Workspace {
 public:
  Workspace() {
    std::random_device random;
    std::error_code ec;
    do {
      root_ = fs::temp_directory_path() / ("qx27-agreement-" + std::to_string(random()));
    } while (!fs::create_directory(root_, ec));
  }
  ~Workspace() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  fs::path NewFolder() {
    const fs::path folder = root_ / std::to_string(++count_);
    fs::create_directory(folder);
    return folder;
  }

 private:
  fs::path root_;
  int count_ = 0;
};

// ---- operations ------------------------------------------------------------------

struct Op {
  enum class Kind { kReadInt, kReadString, kReadStruct, kWriteString, kWriteStruct, kPathExists };
  Kind kind;
  std::u16string section;
  std::u16string key;
  std::u16string text;              // the default of a string read, the value of a string write
  std::int32_t number = 0;          // the default of an integer read, units or bytes of a read
  std::vector<std::uint8_t> bytes;  // a struct write
};

Op ReadInt(std::u16string section, std::u16string key, std::int32_t default_value = -7) {
  return {Op::Kind::kReadInt, std::move(section), std::move(key), u"", default_value, {}};
}
Op ReadString(std::u16string section, std::u16string key, std::int32_t units = 2048, std::u16string def = u"") {
  return {Op::Kind::kReadString, std::move(section), std::move(key), std::move(def), units, {}};
}
Op ReadStruct(std::u16string section, std::u16string key, std::int32_t size) {
  return {Op::Kind::kReadStruct, std::move(section), std::move(key), u"", size, {}};
}
Op Write(std::u16string section, std::u16string key, std::u16string value) {
  return {Op::Kind::kWriteString, std::move(section), std::move(key), std::move(value), 0, {}};
}
Op WriteStruct(std::u16string section, std::u16string key, std::vector<std::uint8_t> bytes) {
  return {Op::Kind::kWriteStruct, std::move(section), std::move(key), u"", 0, std::move(bytes)};
}
Op Exists() { return {Op::Kind::kPathExists, u"", u"", u"", 0, {}}; }

// What one operation gave, in a form two runs can be compared by.
std::string Perform(IniPort& ini, const Op& op, std::u16string_view path) {
  switch (op.kind) {
    case Op::Kind::kReadInt:
      return std::to_string(ini.ReadInt(op.section, op.key, op.number, path)) + " from int read";
    case Op::Kind::kReadString: {
      std::u16string buffer(static_cast<std::size_t>(op.number), u'#');
      const std::size_t n = ini.ReadString(op.section, op.key, op.text, buffer, path);
      std::string shown = "string ";
      shown += std::to_string(n);
      shown += " [";
      shown += Show(std::u16string_view(buffer).substr(0, std::min(n, buffer.size())));
      shown += "]";
      return shown;
    }
    case Op::Kind::kReadStruct: {
      std::vector<std::uint8_t> bytes(static_cast<std::size_t>(op.number), 0x5A);
      const bool ok = ini.ReadStruct(op.section, op.key, bytes, path);
      std::string shown = ok ? "struct ok" : "struct failed";
      for (const std::uint8_t b : bytes) {
        shown += ' ';
        shown += std::to_string(b);
      }
      return shown;
    }
    case Op::Kind::kWriteString:
      return ini.WriteString(op.section, op.key, op.text, path) ? "written" : "not written";
    case Op::Kind::kWriteStruct:
      return ini.WriteStruct(op.section, op.key, op.bytes, path) ? "written" : "not written";
    case Op::Kind::kPathExists:
      return ini.PathExists(path) ? "exists" : "absent";
  }
  return "?";
}

std::string Describe(const Op& op) {
  static const char* const kNames[] = {"ReadInt",     "ReadString",  "ReadStruct",
                                       "WriteString", "WriteStruct", "PathExists"};
  return std::string(kNames[static_cast<int>(op.kind)]) + "([" + Show(op.section) + "], [" + Show(op.key) + "], [" +
         Show(op.text) + "], " + std::to_string(op.number) + ")";
}

// Where the file lives relative to its run folder, and how it may be used.
enum class Place { kFile, kReadOnlyFile, kMissingFolder, kTheFolderItself };

struct Case {
  std::string name;
  std::optional<std::string> start;  // no file at all when empty
  std::vector<Op> ops;
  Place place = Place::kFile;
};

struct Outcome {
  std::vector<std::string> results;
  std::string bytes;
};

Outcome RunCase(IniPort& ini, const Case& c, const fs::path& folder) {
  fs::path file = folder / "settings.ini";
  if (c.place == Place::kMissingFolder) file = folder / "missing" / "settings.ini";
  if (c.start) WriteBytes(file, *c.start);
  std::error_code ec;
  if (c.place == Place::kReadOnlyFile) fs::permissions(file, fs::perms::owner_read, ec);
  const std::u16string path = c.place == Place::kTheFolderItself ? PortPath(folder) : PortPath(file);
  Outcome outcome;
  for (const Op& op : c.ops) outcome.results.push_back(Perform(ini, op, path));
  outcome.bytes = ReadBytes(file);
  if (c.place == Place::kReadOnlyFile) fs::permissions(file, fs::perms::owner_all, ec);
  return outcome;
}

class IniAgreement : public ::testing::Test {
 protected:
  void ExpectAgreement(const Case& c) {
    SCOPED_TRACE(c.name);
    const Outcome platform = RunCase(win32_, c, workspace_.NewFolder());
    const Outcome stand_in = RunCase(stand_in_, c, workspace_.NewFolder());
    for (std::size_t i = 0; i < c.ops.size(); ++i) {
      EXPECT_EQ(stand_in.results[i], platform.results[i]) << "operation " << i << ": " << Describe(c.ops[i]);
    }
    EXPECT_EQ(Show(stand_in.bytes), Show(platform.bytes)) << "final file bytes";
  }

  // Reads of every kind for each key, then the given writes, then the same
  // reads again.
  static std::vector<Op> ReadsAround(const std::vector<std::pair<std::u16string, std::u16string>>& keys,
                                     std::vector<Op> writes) {
    std::vector<Op> ops;
    const auto reads = [&] {
      for (const auto& [section, key] : keys) {
        ops.push_back(ReadInt(section, key));
        ops.push_back(ReadString(section, key));
        ops.push_back(ReadString(section, key, 6, u"dflt  "));
        ops.push_back(ReadStruct(section, key, 3));
      }
    };
    reads();
    for (Op& w : writes) ops.push_back(std::move(w));
    reads();
    ops.push_back(Exists());
    return ops;
  }

  Workspace workspace_;
  win32::Win32IniPort win32_;
  linux_host::StandInIniPort stand_in_;
};

// ---- hand-written odd files -------------------------------------------------------

TEST_F(IniAgreement, LineEndsBlanksAndCase) {
  const std::vector<std::pair<std::u16string, std::u16string>> keys = {
      {u"s", u"a"}, {u"S", u"B"}, {u" s ", u" c "}, {u"t", u"d"}, {u"s", u"missing"}, {u"none", u"a"}};
  const std::vector<Op> writes = {Write(u"s", u"a", u"new"), Write(u"S", u"e", u"added"), Write(u"u", u"f", u"  lead")};
  ExpectAgreement({"CRLF", "[s]\r\na=1\r\nb=2\r\n[t]\r\nd=4\r\n", ReadsAround(keys, writes)});
  ExpectAgreement({"LF only", "[s]\na=1\nb=2\n[t]\nd=4\n", ReadsAround(keys, writes)});
  ExpectAgreement({"CR only", "[s]\ra=1\rb=2\r[t]\rd=4\r", ReadsAround(keys, writes)});
  ExpectAgreement({"no final line end", "[s]\r\na=1\r\n[t]\r\nd=4", ReadsAround(keys, writes)});
  ExpectAgreement(
      {"blanks", "  [ s ]  \r\n\t a \t= \t1 \t\r\n b= 2\r\n\r\n\r\n[t]\r\n  d  =  4  \r\n", ReadsAround(keys, writes)});
  ExpectAgreement({"case", "[S]\r\nA=1\r\nb=2\r\n[T]\r\nD=4\r\n", ReadsAround(keys, writes)});
  ExpectAgreement({"control blanks",
                   "[s]\r\na=\x1A"
                   "1\x0B\r\n\x0C"
                   "b=2\r\n",
                   ReadsAround(keys, writes)});
}

TEST_F(IniAgreement, CommentsBareNamesAndOddHeaders) {
  const std::vector<std::pair<std::u16string, std::u16string>> keys = {
      {u"s", u"a"},   {u"s", u";a"},  {u"s", u"bare"}, {u"s", u""}, {u"", u"top"},
      {u"x]y", u"k"}, {u"odd", u"k"}, {u"[odd", u"k"}, {u"", u"k"}, {u"s", u"b"}};
  const std::vector<Op> writes = {Write(u"s", u"bare", u"now"), Write(u"s", u"a", u"2"), Write(u"", u"top", u"9")};
  ExpectAgreement({"comments", "; first line\r\n[s]\r\n;a=5\r\n; a=6\r\na=1\r\n", ReadsAround(keys, writes)});
  ExpectAgreement({"bare names", "[s]\r\nbare\r\n=v1\r\n=v2\r\nb=3\r\n=v4\r\n", ReadsAround(keys, writes)});
  ExpectAgreement({"lines before any section", "top=1\r\nlone\r\n[s]\r\na=1\r\n", ReadsAround(keys, writes)});
  ExpectAgreement(
      {"odd headers", "[x]y]\r\nk=1\r\n[odd\r\nk=2\r\n[]\r\nk=3\r\n[ odd ]junk\r\nk=4\r\n", ReadsAround(keys, writes)});
}

TEST_F(IniAgreement, RepeatedKeysAndSections) {
  const std::vector<std::pair<std::u16string, std::u16string>> keys = {{u"s", u"k"}, {u"s", u"later"}, {u"t", u"k"}};
  ExpectAgreement({"repeats", "[s]\r\nk=1\r\nK=2\r\n[t]\r\nk=3\r\n[S]\r\nlater=4\r\nk=5\r\n",
                   ReadsAround(keys, {Write(u"s", u"k", u"6"), Write(u"s", u"later", u"7")})});
}

TEST_F(IniAgreement, EncodingsAreReadAndKeptOnWrite) {
  const std::vector<std::pair<std::u16string, std::u16string>> keys = {{u"s", u"name"}, {u"s", u"n"}};
  const std::vector<Op> writes = {Write(u"s", u"name", u"Zvýraznění €"), Write(u"s", u"more", u"ř中\U0001F5B1")};
  const std::u16string text = u"[s]\r\nname=Otevřít \U0001F5B1\r\nn=12\r\n";
  ExpectAgreement({"UTF-16LE", Utf16(text), ReadsAround(keys, writes)});
  ExpectAgreement(
      {"ANSI high bytes", "[s]\r\nname=\x80\x81\x8D\x9F\xA0\xE9\xFF\r\nn=12\r\n", ReadsAround(keys, writes)});
  ExpectAgreement({"byte-order mark only", std::string("\xFF\xFE"), ReadsAround(keys, writes)});
  ExpectAgreement({"empty file", std::string(), ReadsAround(keys, writes)});
  // Files behind a UTF-8 or UTF-16BE mark: see OnlyTheUtf16LeMarkMakesAFileUnicode.
}

TEST_F(IniAgreement, NulBytesInsideTheFile) {
  const std::vector<std::pair<std::u16string, std::u16string>> keys = {{u"s", u"a"}, {u"s", u"b"}, {u"s", u"c"}};
  static const char kFile[] = "[s]\r\na=1\0x\r\nb\0z=2\r\nc=\0\r\n";
  ExpectAgreement({"NULs", std::string(kFile, sizeof kFile - 1), ReadsAround(keys, {Write(u"s", u"a", u"3")})});
}

TEST_F(IniAgreement, QuotesAndLongValues) {
  const std::string long_text(3000, 'x');
  const std::vector<std::pair<std::u16string, std::u16string>> keys = {
      {u"s", u"dq"},   {u"s", u"sq"},    {u"s", u"open"},  {u"s", u"mixed"}, {u"s", u"one"},  {u"s", u"two"},
      {u"s", u"long"}, {u"s", u"edge1"}, {u"s", u"edge2"}, {u"s", u"edge3"}, {u"s", u"inner"}};
  std::vector<Op> ops = ReadsAround(keys, {Write(u"s", u"dq", u"\"kept\""), Write(u"s", u"long", u"short")});
  for (const std::int32_t units : {1, 2, 5, 2046, 2047, 2048, 2049}) {
    for (const char16_t* key : {u"edge1", u"edge2", u"edge3", u"long", u"dq"})
      ops.push_back(ReadString(u"s", key, units));
  }
  ops.push_back(ReadString(u"s", u"absent", 8, u"\"quoted default\""));
  ops.push_back(ReadString(u"s", u"absent", 8, u"   "));
  ExpectAgreement({"quotes",
                   "[s]\r\ndq=\"C:\\My Files\"\r\nsq='x y'\r\nopen=\"abc\r\nmixed=\"a'\r\none=\"\r\ntwo=\"\"\r\n"
                   "long=" +
                       long_text + "\r\nedge1=\"" + std::string(2046, 'e') + "\"\r\nedge2=\"" + std::string(2047, 'e') +
                       "\"\r\nedge3=\"" + std::string(2045, 'e') + "\"\r\ninner=a \"b\" c\r\n",
                   ops});
}

TEST_F(IniAgreement, IntegerTexts) {
  const char* texts[] = {"-5",
                         " 12abc",
                         "0x10",
                         "0X10",
                         "",
                         "+7",
                         "0b101",
                         "0o17",
                         "-0x1F",
                         "abc",
                         "-",
                         "0x",
                         "4294967297",
                         "-4294967297",
                         "2147483648",
                         "\"42\"",
                         "'7'",
                         "\"",
                         "\"\"",
                         "1 2",
                         "\t9",
                         "00000000000000000000000000000123",
                         "0000000000000000000000000000012",
                         "\x01"
                         "5",
                         "+-3",
                         "0b2",
                         "0o9",
                         "0xG",
                         "12\x1A"};
  std::string file = "[s]\r\n";
  std::vector<Op> ops;
  int i = 0;
  for (const char* text : texts) {
    std::string key = "k";
    key += std::to_string(i++);
    file += key;
    file += "=";
    file += text;
    file += "\r\n";
    ops.push_back(ReadInt(u"s", AsciiToU16(key), -99));
    ops.push_back(ReadInt(u"s", AsciiToU16(key), 5));
  }
  ops.push_back(ReadInt(u"s", u"absent", 123));
  ExpectAgreement({"integers", file, ops});
}

TEST_F(IniAgreement, StructValues) {
  const std::vector<std::uint8_t> three = {0x01, 0xAB, 0xFF};
  std::vector<Op> ops;
  for (const char16_t* key :
       {u"good", u"lower", u"short", u"sum", u"digit", u"quoted", u"blank", u"empty", u"absent", u"spaced"}) {
    for (const std::int32_t size : {0, 2, 3, 4}) ops.push_back(ReadStruct(u"s", key, size));
  }
  ops.push_back(WriteStruct(u"s", u"good", three));
  ops.push_back(WriteStruct(u"s", u"new", {0x00, 0x7F, 0x80, 0x10}));
  ops.push_back(WriteStruct(u"s", u"none", {}));
  ops.push_back(ReadStruct(u"s", u"new", 4));
  ops.push_back(ReadStruct(u"s", u"none", 0));
  ops.push_back(ReadString(u"s", u"new"));
  ExpectAgreement({"structs",
                   "[s]\r\ngood=01ABFFAB\r\nlower=01abffab\r\nshort=01AB\r\nsum=01ABFFAC\r\n"
                   "digit=01ABFGAB\r\nquoted=\"01ABFFAB\"\r\nblank=  01ABFFAB  \r\nempty=\r\n"
                   "spaced=01 ABFFAB\r\n",
                   ops});
}

TEST_F(IniAgreement, MissingFilesFoldersAndPathsThatAreNoFile) {
  const std::vector<Op> ops = {Exists(),
                               ReadInt(u"s", u"k", 3),
                               ReadString(u"s", u"k", 16, u"'dq'"),
                               Write(u"s", u"k", u"v"),
                               WriteStruct(u"s", u"b", {1, 2}),
                               ReadString(u"s", u"k"),
                               ReadStruct(u"s", u"b", 2),
                               Exists()};
  ExpectAgreement({"missing file", std::nullopt, ops});
  ExpectAgreement({"missing folder", std::nullopt, ops, Place::kMissingFolder});
  ExpectAgreement({"a folder", std::nullopt, ops, Place::kTheFolderItself});
}

TEST_F(IniAgreement, AChangeMadeBetweenCallsIsSeenByTheNextCall) {
  for (IniPort* ini : {static_cast<IniPort*>(&win32_), static_cast<IniPort*>(&stand_in_)}) {
    const fs::path file = workspace_.NewFolder() / "settings.ini";
    const std::u16string path = PortPath(file);
    WriteBytes(file, "[s]\r\nk=1\r\n");
    EXPECT_EQ(ini->ReadInt(u"s", u"k", 0, path), 1u);
    WriteBytes(file, "[s]\r\nk=22\r\n");
    EXPECT_EQ(ini->ReadInt(u"s", u"k", 0, path), 22u);
    ASSERT_TRUE(ini->WriteString(u"s", u"j", u"3", path));
    EXPECT_EQ(ReadBytes(file), "[s]\r\nk=22\r\nj=3\r\n");
  }
}

TEST_F(IniAgreement, OddNamesAndValuesAreWrittenAsTheyAre) {
  const std::vector<Op> ops = {Write(u" spaced ", u" key ", u"v "),
                               Write(u"spaced", u"key", u"w"),
                               Write(u"s", u"", u"empty name"),
                               Write(u"", u"top", u"t"),
                               Write(u"s", u"multi", u"a\r\nb=c"),
                               Write(u"s", u"eq=in", u"x"),
                               Write(u"s", std::u16string(u"cut\0off", 7), std::u16string(u"v\0w", 3)),
                               ReadString(u"s", u"b"),
                               ReadString(u"s", u"eq"),
                               ReadString(u"s", u"cut"),
                               ReadString(u"spaced", u"key"),
                               ReadString(u"s", u""),
                               ReadString(u"", u"top")};
  ExpectAgreement({"odd names in a new file", std::nullopt, ops});
  ExpectAgreement({"odd names in a file", "[s]\r\n=first\r\nk=1\r\n", ops});
}

TEST_F(IniAgreement, AWriteThatChangesNothingLeavesTheFileAsItWas) {
  ExpectAgreement({"unchanged",
                   "[s]\nk = 1 \n\n; note\n",
                   {Write(u"s", u"k", u"1"), Write(u"s", u"k", u"  1"), ReadString(u"s", u"k")}});
  ExpectAgreement({"changed case", "[s]\nk=abc\n", {Write(u"s", u"k", u"ABC")}});
}

// ---- the agent's own files ----------------------------------------------------------

struct Images {
  std::unique_ptr<SettingsRecord> record = std::make_unique<SettingsRecord>();
  std::unique_ptr<SettingsRecord> snapshot = std::make_unique<SettingsRecord>();
  std::unique_ptr<ProfileRecord> working = std::make_unique<ProfileRecord>();
};

bool SameBytes(const auto& a, const auto& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Runs the agent's settings operations through one port: create the file,
// reload, store a DPI stage and the device flag, store a downloaded profile,
// reload again. Gives the file after each step and the records loaded.
struct SettingsRun {
  std::vector<std::string> files;
  std::vector<std::unique_ptr<Images>> loads;
};

SettingsRun RunSettings(IniPort& ini, const fs::path& folder, const std::optional<std::string>& start) {
  const fs::path file = folder / "GamingMouse";
  if (start) WriteBytes(file, *start);
  const std::u16string path = PortPath(file);
  SettingsRun run;
  const auto load = [&] {
    auto images = std::make_unique<Images>();
    LoadOrCreateSettings(ini, path, *images->record, *images->snapshot, *images->working);
    run.loads.push_back(std::move(images));
    run.files.push_back(ReadBytes(file));
  };
  load();
  load();
  StoreDpiCur(ini, path, 2, 3);
  StoreDeviceFlag(ini, path, 1);
  run.files.push_back(ReadBytes(file));
  ProfileRecord downloaded = *run.loads.back()->working;
  CopyToField(downloaded.Profil_Name, u"Gaming – Škoda");
  downloaded.ButtonAssigned[2].FuncCode = 0xB2;
  downloaded.ButtonAssigned[2].StepCount = 3;
  downloaded.ButtonAssigned[2].MacroID = 77;
  WriteProfile(ini, path, 4, downloaded);
  run.files.push_back(ReadBytes(file));
  load();
  return run;
}

TEST_F(IniAgreement, TheAgentsOwnSettingsFilesComeOutTheSame) {
  const std::optional<std::string> starts[] = {
      std::nullopt,
      std::string("[Setting]\r\nTotle=0\r\n0=4\r\nActive=3\r\nShow_TrayIcon=7\r\n"
                  "[Profile4Setting]\r\nGroupID=9\r\nDPI_Value2=9\r\nProfil_Name=\"Quoted\"\r\n"
                  "ButtonAssigned0=00\r\n"),
      Utf16(u"[Setting]\r\nTotle=2\r\n0=3\r\n1=1\r\nBGFilesPath=C:\\Obrázky\\pozadí.png\r\n"
            u"[Profile3Setting]\r\nProfil_Name=Střelba\r\n"),
  };
  for (const auto& start : starts) {
    SCOPED_TRACE(start ? Show(start->substr(0, 40)) : "no file");
    const SettingsRun platform = RunSettings(win32_, workspace_.NewFolder(), start);
    const SettingsRun stand_in = RunSettings(stand_in_, workspace_.NewFolder(), start);
    ASSERT_EQ(platform.files.size(), stand_in.files.size());
    for (std::size_t i = 0; i < platform.files.size(); ++i) {
      EXPECT_EQ(Show(stand_in.files[i]), Show(platform.files[i])) << "file after step " << i;
    }
    for (std::size_t i = 0; i < platform.loads.size(); ++i) {
      EXPECT_TRUE(SameBytes(*stand_in.loads[i]->record, *platform.loads[i]->record)) << "record of load " << i;
      EXPECT_TRUE(SameBytes(*stand_in.loads[i]->working, *platform.loads[i]->working)) << "working of load " << i;
    }
  }
}

// ---- the code pages -----------------------------------------------------------------

TEST(CodePageAgreement, Windows1252MatchesThePlatformForEveryUnitAndByte) {
  ASSERT_EQ(GetACP(), 1252u) << "the stand-in models a Windows-1252 system";
  for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
    const wchar_t wide = static_cast<wchar_t>(unit);
    char narrow[4] = {};
    const int n = WideCharToMultiByte(CP_ACP, 0, &wide, 1, narrow, sizeof narrow, nullptr, nullptr);
    ASSERT_EQ(n, 1);
    const std::u16string text(1, static_cast<char16_t>(unit));
    ASSERT_EQ(linux_host::EncodeAnsi(text), std::string(1, narrow[0])) << "unit " << unit;
  }
  for (unsigned b = 0; b <= 0xFF; ++b) {
    const char narrow = static_cast<char>(b);
    wchar_t wide = 0;
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, &narrow, 1, &wide, 1), 1);
    const std::uint8_t byte = static_cast<std::uint8_t>(b);
    EXPECT_EQ(linux_host::DecodeAnsi(std::span<const std::uint8_t>(&byte, 1)),
              std::u16string(1, static_cast<char16_t>(wide)))
        << "byte " << b;
  }
}

std::u16string PlatformUtf8(const std::vector<std::uint8_t>& bytes) {
  if (bytes.empty()) return {};
  const auto* src = reinterpret_cast<const char*>(bytes.data());
  const int n = MultiByteToWideChar(CP_UTF8, 0, src, static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, src, static_cast<int>(bytes.size()), wide.data(), n);
  return {wide.begin(), wide.end()};
}

TEST(CodePageAgreement, Utf8DecodesLikeThePlatformWhateverTheBytes) {
  // Every pair of bytes, each lead byte with every second byte and a third and
  // fourth from a spread of values, and all of them cut short.
  const std::uint8_t spread[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0,
                                 0xBF, 0xC0, 0xC2, 0xE0, 0xED, 0xF4, 0xFF};
  std::vector<std::vector<std::uint8_t>> inputs;
  for (unsigned a = 0; a <= 0xFF; ++a) {
    for (unsigned b = 0; b <= 0xFF; ++b) inputs.push_back({static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b)});
  }
  const std::uint8_t seconds[] = {0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0};
  for (unsigned a = 0xC0; a <= 0xFF; ++a) {
    const auto lead = static_cast<std::uint8_t>(a);
    for (const std::uint8_t b : seconds) {
      for (const std::uint8_t c : spread) {
        inputs.push_back({lead, b, c});
        for (const std::uint8_t d : spread) inputs.push_back({lead, b, c, d, 0x41});
      }
    }
  }
  for (const auto& input : inputs) {
    const std::u16string expected = PlatformUtf8(input);
    const std::u16string actual = linux_host::DecodeUtf8(input);
    if (actual != expected) {
      ADD_FAILURE() << "bytes " << Show(std::string(input.begin(), input.end())) << ": platform [" << Show(expected)
                    << "], stand-in [" << Show(actual) << "]";
      return;
    }
  }
}

// ---- where the stand-in follows Windows rather than Wine ------------------------------

bool RunningOnWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TEST_F(IniAgreement, AStructTextLongerThanItsSizeOrWithNonHexDigitsIsRefused) {
  const fs::path folder = workspace_.NewFolder();
  const fs::path file = folder / "settings.ini";
  // "G0" is no hex pair, yet Wine reads it as 0x100 and the checksum of the
  // truncated byte as 00; the longer value starts with a valid one. Windows
  // fails both (ERROR_INVALID_DATA and ERROR_BAD_LENGTH in Wine's own tests).
  WriteBytes(file, "[s]\r\nnonhex=G000\r\nlonger=01ABFFAB00\r\n");
  const std::u16string path = PortPath(file);
  std::uint8_t one[1] = {};
  std::uint8_t three[3] = {};
  EXPECT_FALSE(stand_in_.ReadStruct(u"s", u"nonhex", one, path));
  EXPECT_FALSE(stand_in_.ReadStruct(u"s", u"longer", three, path));
  if (RunningOnWine()) {
    EXPECT_TRUE(win32_.ReadStruct(u"s", u"nonhex", one, path)) << "Wine has changed: revisit the stand-in";
    EXPECT_TRUE(win32_.ReadStruct(u"s", u"longer", three, path)) << "Wine has changed: revisit the stand-in";
  } else {
    EXPECT_FALSE(win32_.ReadStruct(u"s", u"nonhex", one, path));
    EXPECT_FALSE(win32_.ReadStruct(u"s", u"longer", three, path));
  }
}

TEST_F(IniAgreement, OnlyTheUtf16LeMarkMakesAFileUnicode) {
  // Windows reads a file behind a UTF-8 or UTF-16BE mark as ANSI bytes: the
  // mark begins the first line, which then names no section, and a UTF-16BE
  // file names none at all. Wine reads both as Unicode.
  const std::u16string text = u"[s]\r\nname=Otev\u0159\u00EDt\r\n[t]\r\nn=12\r\n";
  struct Marked {
    const char* name;
    std::string bytes;
    std::uint32_t later_section_on_windows;
  };
  const Marked files[] = {{"UTF-8", "\xEF\xBB\xBF" + ToUtf8(text), 12u}, {"UTF-16BE", Utf16(text, true), 99u}};
  for (const Marked& f : files) {
    SCOPED_TRACE(f.name);
    const fs::path file = workspace_.NewFolder() / "settings.ini";
    WriteBytes(file, f.bytes);
    const std::u16string path = PortPath(file);
    std::u16string name(16, u'#');
    EXPECT_EQ(stand_in_.ReadString(u"s", u"name", u"none", name, path), 4u);
    EXPECT_EQ(name.substr(0, 4), u"none");
    EXPECT_EQ(stand_in_.ReadInt(u"t", u"n", 99, path), f.later_section_on_windows);
    const std::size_t copied = win32_.ReadString(u"s", u"name", u"none", name, path);
    const std::uint32_t later = win32_.ReadInt(u"t", u"n", 99, path);
    if (RunningOnWine()) {
      EXPECT_EQ(name.substr(0, copied), u"Otev\u0159\u00EDt") << "Wine has changed: revisit the stand-in";
      EXPECT_EQ(later, 12u) << "Wine has changed: revisit the stand-in";
    } else {
      EXPECT_EQ(name.substr(0, copied), u"none");
      EXPECT_EQ(later, f.later_section_on_windows);
    }
  }
}

// Whether the platform refuses to open a read-only file for writing, as
// Windows does. Wine run by root does not: the Unix open succeeds regardless.
bool PlatformRefusesToWriteReadOnlyFiles(const fs::path& folder) {
  const fs::path probe = folder / "read-only-probe";
  WriteBytes(probe, "x");
  SetFileAttributesW(probe.c_str(), FILE_ATTRIBUTE_READONLY);
  const HANDLE handle = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  const bool refused = handle == INVALID_HANDLE_VALUE;
  if (!refused) CloseHandle(handle);
  SetFileAttributesW(probe.c_str(), FILE_ATTRIBUTE_NORMAL);
  return refused;
}

TEST_F(IniAgreement, AReadOnlyFileIsReadButNeverWritten) {
  const Case read_only = {"read-only",
                          "[s]\r\nk=1\r\n",
                          {ReadInt(u"s", u"k"), Write(u"s", u"k", u"2"), Write(u"s", u"k", u"1"),
                           WriteStruct(u"s", u"b", {1}), ReadInt(u"s", u"k")},
                          Place::kReadOnlyFile};
  if (PlatformRefusesToWriteReadOnlyFiles(workspace_.NewFolder())) {
    ExpectAgreement(read_only);
    return;
  }
  const Outcome stand_in = RunCase(stand_in_, read_only, workspace_.NewFolder());
  EXPECT_EQ(stand_in.results[1], "not written");
  EXPECT_EQ(stand_in.results[2], "not written");
  EXPECT_EQ(stand_in.results[3], "not written");
  EXPECT_EQ(stand_in.bytes, "[s]\r\nk=1\r\n");
}

TEST_F(IniAgreement, AFailedStructReadLeavesTheCallersBytesOnBothPorts) {
  const fs::path file = workspace_.NewFolder() / "settings.ini";
  WriteBytes(file, "[s]\r\nk=0102030400\r\n");  // four bytes with a wrong checksum
  const std::u16string path = PortPath(file);
  for (IniPort* ini : {static_cast<IniPort*>(&win32_), static_cast<IniPort*>(&stand_in_)}) {
    std::uint8_t bytes[4] = {9, 9, 9, 9};
    EXPECT_FALSE(ini->ReadStruct(u"s", u"k", bytes, path));
    EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + 4), (std::vector<std::uint8_t>{9, 9, 9, 9}));
  }
}

}  // namespace
}  // namespace qx27
