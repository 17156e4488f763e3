#pragma once
// The frame of quillotide-cli: argument handling, JSON output and the table of command groups.
// Every command runs a model operation headless; errors go to stderr with a non-zero exit.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "app/Error.h"

namespace quillotide {
class Progress;
class Random;
}  // namespace quillotide

namespace quillotide::cli {

// A wrong command line; main prints the message and the command's usage, exit code 2.
class UsageError : public Error {
public:
  using Error::Error;
};

// The words after GROUP COMMAND. Commands take their options first, then the positionals.
class Args {
public:
  explicit Args(std::vector<std::string> words) : m_words(std::move(words)) {}
  // Takes "--name" if present.
  bool flag(const std::string& name);
  // Takes "--name VALUE" or "--name=VALUE" if present.
  std::optional<std::string> option(const std::string& name);
  std::optional<std::int64_t> intOption(const std::string& name);
  // The remaining words; throws UsageError on an unknown option or a count outside min..max.
  std::vector<std::string> positionals(std::size_t min, std::size_t max = SIZE_MAX);

private:
  std::vector<std::string> m_words;
};

// Parses a slot number or other integer argument with the program's integer rule.
std::int64_t parseIntArg(const std::string& text, const std::string& what);

// The options every rebuild command takes: --seed N and --skip-damaged.
struct RebuildOptions {
  std::optional<std::int64_t> seed;
  bool skipDamaged = false;
};
RebuildOptions takeRebuildOptions(Args& args);
// Runs a rebuild with those options and returns the slots it left out. A damaged slot met without
// --skip-damaged ends the command with the model's message and how to leave such slots out.
std::vector<std::int64_t> runRebuild(
    const RebuildOptions& options,
    const std::function<std::vector<std::int64_t>(Progress&, Random&, bool)>& rebuild);
// "\nleft out damaged slots: 0x1F, 0x20" (names from `name`), or nothing when none was left out.
std::string skippedText(const std::vector<std::int64_t>& skipped,
                        const std::function<std::string(std::int64_t)>& name);

// Where a command that changes a game file writes it. Every group has the same shape: a change
// goes back over the files it read (in place) unless the command line names other files, with
// --out FILE for a family of one file and --out-index FILE --out-data FILE (both or neither) for an
// index/data pair. The sources then stay as they were. Commands whose whole point is a new file
// (save, rebuild) take the new files as their last positionals instead. Take the target with the
// other options, before the positionals.
struct FileTarget {
  std::optional<std::string> out;
  bool inPlace() const { return !out; }
  // The file to write for the change of `source`.
  std::string path(const std::string& source) const { return out.value_or(source); }
};
FileTarget takeFileTarget(Args& args);
inline constexpr const char* kFileTargetUsage = "[--out FILE]";

struct PairTarget {
  std::optional<std::string> index;
  std::optional<std::string> data;
  bool inPlace() const { return !index; }
  std::string indexPath(const std::string& source) const { return index.value_or(source); }
  std::string dataPath(const std::string& source) const { return data.value_or(source); }
};
// Throws UsageError when only one of the two options is given.
PairTarget takePairTarget(Args& args);
inline constexpr const char* kPairTargetUsage = "[--out-index FILE --out-data FILE]";

// For a pair whose model writes every change into the files it opens (direct or low-memory mode):
// runs `change` on the files themselves when the target is in place, otherwise on working copies
// of the pair beside the targets, which replace both targets together once the change succeeded.
// A failed change leaves the targets as they were.
void changePairFiles(
    const PairTarget& target, const std::string& index, const std::string& data,
    const std::function<void(const std::string& index, const std::string& data)>& change);

// A JSON value, enough for command reports.
class Json {
public:
  using Object = std::vector<std::pair<std::string, Json>>;
  using Array = std::vector<Json>;
  Json() : m_value(nullptr) {}
  Json(std::nullptr_t) : m_value(nullptr) {}
  Json(bool v) : m_value(v) {}
  Json(int v) : m_value(static_cast<std::int64_t>(v)) {}
  Json(std::int64_t v) : m_value(v) {}
  Json(std::uint32_t v) : m_value(static_cast<std::int64_t>(v)) {}
  Json(std::uint64_t v) : m_value(static_cast<std::int64_t>(v)) {}
  Json(double v) : m_value(v) {}
  Json(const char* v) : m_value(std::string(v)) {}
  Json(std::string v) : m_value(std::move(v)) {}
  Json(Array v) : m_value(std::move(v)) {}
  Json(Object v) : m_value(std::move(v)) {}
  std::string dump() const;

private:
  std::variant<std::nullptr_t, bool, std::int64_t, double, std::string, Array, Object> m_value;
};

struct Context {
  std::ostream& out;
  bool json = false;
  std::ostream* err = nullptr;  // notes beside the report; none when nullptr
  // Prints the report: as JSON when --json was given, otherwise the text.
  void report(const Json& json, const std::string& text) const;
  // Prints "quillotide-cli: note: TEXT" to stderr, apart from the report, so that --json output
  // stays one JSON value.
  void note(const std::string& text) const;
  // One note per line of what a load found and kept ("FILE: line").
  void noteProblems(const std::string& file, const std::vector<std::string>& problems) const;
};

// The lines as a JSON array of strings.
Json stringsJson(const std::vector<std::string>& lines);

// Runs f and returns what it returns; an Error it throws (other than a UsageError) is raised again
// with `record` before its text ("Skill 3: ..."), for model messages that do not name the record.
template <class F>
auto forRecord(const std::string& record, F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const UsageError&) {
    throw;
  } catch (const Error& e) {
    throw Error(record + ": " + e.what());
  }
}

// The slots a rebuild left out, as a JSON array of slot numbers.
Json skippedJson(const std::vector<std::int64_t>& skipped);

struct Command {
  std::string name;
  std::string usage;    // arguments after the command name
  std::string summary;  // one line
  std::function<int(Args&, Context&)> run;
};

struct Group {
  std::string name;
  std::string summary;
  std::vector<Command> commands;
};

// One function per command group, each in its own file.
Group indexGroup();
Group sampleGroup();
Group hueGroup();
Group tiledataGroup();
Group artGroup();
Group gumpGroup();
Group textureGroup();
Group lightGroup();
Group radarcolGroup();
Group animGroup();
Group animdataGroup();
Group verdataGroup();
Group soundGroup();
Group multiGroup();
Group progressGroup();
Group mapGroup();
Group staticsGroup();
Group worldGroup();
Group sharedGroup();
Group equipGroup();
Group clilocGroup();
Group batchGroup();
Group patchGroup();
// The whole-file world tools, listed in the map and statics groups.
std::vector<Command> mapToolCommands();
std::vector<Command> staticsToolCommands();
Group diffGroup();
Group uopGroup();
Group clientGroup();
Group fontGroup();
Group unifontGroup();
Group skillsGroup();
Group skillGroupsGroup();
Group speechGroup();
Group multimapGroup();

std::vector<Group> allGroups();

// Runs quillotide-cli with argv-style words (without the program name); returns the exit code.
int runCli(const std::vector<std::string>& words, std::ostream& out, std::ostream& err);

}  // namespace quillotide::cli
