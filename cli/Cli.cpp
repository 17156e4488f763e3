#include "cli/Cli.h"

#include <algorithm>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "app/BuildInfo.h"
#include "app/FileIO.h"
#include "app/IndexedFile.h"
#include "app/Progress.h"
#include "app/Random.h"
#include "app/Text.h"

namespace quillotide::cli {

RebuildOptions takeRebuildOptions(Args& args) {
  RebuildOptions options;
  options.seed = args.intOption("seed");
  options.skipDamaged = args.flag("skip-damaged");
  return options;
}

std::vector<std::int64_t> runRebuild(
    const RebuildOptions& options,
    const std::function<std::vector<std::int64_t>(Progress&, Random&, bool)>& rebuild) {
  Random random;
  if (options.seed) random.seed(static_cast<std::uint64_t>(*options.seed));
  Progress silent;
  try {
    return rebuild(silent, random, options.skipDamaged);
  } catch (const DamagedSlotError& e) {
    throw Error(std::string(e.what()) +
                " Nothing was written; --skip-damaged rebuilds without the damaged slots.");
  }
}

Json skippedJson(const std::vector<std::int64_t>& skipped) {
  Json::Array slots;
  // Built in place: moving a temporary Json trips GCC 12's false maybe-uninitialized warning.
  for (const auto s : skipped) slots.emplace_back(s);
  return slots;
}

std::string skippedText(const std::vector<std::int64_t>& skipped,
                        const std::function<std::string(std::int64_t)>& name) {
  if (skipped.empty()) return {};
  std::string text = "\nleft out damaged slots:";
  for (std::size_t i = 0; i < skipped.size(); ++i) text += (i ? ", " : " ") + name(skipped[i]);
  return text;
}

FileTarget takeFileTarget(Args& args) { return {args.option("out")}; }

PairTarget takePairTarget(Args& args) {
  PairTarget target{args.option("out-index"), args.option("out-data")};
  if (target.index.has_value() != target.data.has_value())
    throw UsageError("--out-index and --out-data go together.");
  return target;
}

void changePairFiles(
    const PairTarget& target, const std::string& index, const std::string& data,
    const std::function<void(const std::string& index, const std::string& data)>& change) {
  if (target.inPlace()) {
    change(index, data);
    return;
  }
  const std::string outIndex = target.indexPath(index), outData = target.dataPath(data);
  requireDistinctTargets(outIndex, outData);
  // The working copies live beside the targets (same file system, cleaned up with the stale
  // temporaries of a killed run) and are not flushed: once changed, they are written out again
  // as the targets' new contents, flushed, and both renamed together.
  AtomicFile workIndex(outIndex, AtomicFile::Flush::Later);
  AtomicFile workData(outData, AtomicFile::Flush::Later);
  workIndex.write(readFile(index));
  workData.write(readFile(data));
  workIndex.finish();
  workData.finish();
  change(workIndex.tempPath(), workData.tempPath());
  AtomicFile newIndex(outIndex), newData(outData);
  newIndex.write(readFile(workIndex.tempPath()));
  newData.write(readFile(workData.tempPath()));
  commitAll({&newIndex, &newData});
}

bool Args::flag(const std::string& name) {
  for (auto it = m_words.begin(); it != m_words.end(); ++it) {
    if (*it == "--" + name) {
      m_words.erase(it);
      return true;
    }
  }
  return false;
}

std::optional<std::string> Args::option(const std::string& name) {
  const std::string key = "--" + name;
  for (auto it = m_words.begin(); it != m_words.end(); ++it) {
    if (*it == key) {
      if (it + 1 == m_words.end()) throw UsageError("Option " + key + " needs a value.");
      std::string value = *(it + 1);
      m_words.erase(it, it + 2);
      return value;
    }
    if (it->rfind(key + "=", 0) == 0) {
      std::string value = it->substr(key.size() + 1);
      m_words.erase(it);
      return value;
    }
  }
  return std::nullopt;
}

std::optional<std::int64_t> Args::intOption(const std::string& name) {
  if (auto v = option(name)) return parseIntArg(*v, "--" + name);
  return std::nullopt;
}

std::vector<std::string> Args::positionals(std::size_t min, std::size_t max) {
  for (const auto& w : m_words)
    if (w.size() > 2 && w.rfind("--", 0) == 0) throw UsageError("Unknown option " + w + ".");
  if (m_words.size() < min) throw UsageError("Too few arguments.");
  if (m_words.size() > max) throw UsageError("Too many arguments.");
  return m_words;
}

std::int64_t parseIntArg(const std::string& text, const std::string& what) {
  if (auto v = tryParseInt(text)) return *v;
  throw UsageError(formatMessage("'%s' is not a valid integer value", {text}) + " (" + what + ")");
}

namespace {

// JSON text is UTF-8: a byte that is not part of well-formed UTF-8 (a path in another encoding,
// say) comes out as U+FFFD, and every control character is escaped.
void dumpString(std::ostringstream& os, const std::string& s) {
  os << '"';
  for (const char ch : toValidUtf8(s)) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': os << "\\\""; break;
      case '\\': os << "\\\\"; break;
      case '\n': os << "\\n"; break;
      case '\r': os << "\\r"; break;
      case '\t': os << "\\t"; break;
      default:
        if (c < 0x20) os << "\\u" << std::hex << std::setw(4) << std::setfill('0') << int(c) << std::dec;
        else os << c;
    }
  }
  os << '"';
}

}  // namespace

std::string Json::dump() const {
  std::ostringstream os;
  struct Visitor {
    std::ostringstream& os;
    void operator()(std::nullptr_t) const { os << "null"; }
    void operator()(bool b) const { os << (b ? "true" : "false"); }
    void operator()(std::int64_t v) const { os << v; }
    void operator()(double v) const { os << v; }
    void operator()(const std::string& s) const { dumpString(os, s); }
    void operator()(const Array& a) const {
      os << '[';
      for (std::size_t i = 0; i < a.size(); ++i) os << (i ? "," : "") << a[i].dump();
      os << ']';
    }
    void operator()(const Object& o) const {
      os << '{';
      for (std::size_t i = 0; i < o.size(); ++i) {
        if (i) os << ',';
        dumpString(os, o[i].first);
        os << ':' << o[i].second.dump();
      }
      os << '}';
    }
  };
  std::visit(Visitor{os}, m_value);
  return os.str();
}

void Context::report(const Json& value, const std::string& text) const {
  if (json) out << value.dump() << '\n';
  else out << text << (text.empty() || text.back() == '\n' ? "" : "\n");
}

void Context::note(const std::string& text) const {
  if (err) *err << "quillotide-cli: note: " << text << '\n';
}

void Context::noteProblems(const std::string& file,
                           const std::vector<std::string>& problems) const {
  for (const std::string& line : problems) note(file + ": " + line);
}

Json stringsJson(const std::vector<std::string>& lines) {
  Json::Array out;
  for (const std::string& line : lines) out.emplace_back(line);
  return out;
}

std::vector<Group> allGroups() {
  return {indexGroup(), sampleGroup(),  hueGroup(),      tiledataGroup(), artGroup(),
          gumpGroup(),  textureGroup(), lightGroup(),    radarcolGroup(), animGroup(),
          animdataGroup(), verdataGroup(), soundGroup(), multiGroup(), progressGroup(),
          mapGroup(), staticsGroup(), worldGroup(), sharedGroup(),
          equipGroup(), clilocGroup(), batchGroup(), patchGroup(), diffGroup(), uopGroup(),
          clientGroup(), fontGroup(), unifontGroup(), skillsGroup(), skillGroupsGroup(),
          speechGroup(), multimapGroup()};
}

namespace {

void printTopHelp(std::ostream& out, const std::vector<Group>& groups) {
  out << "Usage: quillotide-cli GROUP COMMAND [ARGS] [--json]\n"
         "  or:  quillotide-cli GROUP --help | GROUP COMMAND --help\n"
         "  or:  quillotide-cli --help | --version\n\n"
         "Works on Ultima Online client files without the window program.\n\nGroups:\n";
  // The summaries line up after the longest group name, at least two spaces after each name.
  std::size_t width = 12;
  for (const auto& g : groups) width = std::max(width, g.name.size() + 2);
  for (const auto& g : groups)
    if (!g.commands.empty())
      out << "  " << std::left << std::setw(static_cast<int>(width)) << g.name << g.summary << '\n';
}

void printGroupHelp(std::ostream& out, const Group& g) {
  out << "Usage: quillotide-cli " << g.name << " COMMAND [ARGS] [--json]\n\n" << g.summary
      << "\n\nCommands:\n";
  // The summaries line up after the longest command name.
  std::size_t width = 12;
  for (const auto& c : g.commands) width = std::max(width, c.name.size() + 2);
  for (const auto& c : g.commands)
    out << "  " << std::left << std::setw(static_cast<int>(width)) << c.name << c.summary << '\n';
}

// A group of one command named like the group runs it directly, so its name is said once.
bool runsDirectly(const Group& g) {
  return g.commands.size() == 1 && g.commands[0].name == g.name;
}

void printCommandHelp(std::ostream& out, const Group& g, const Command& c) {
  out << "Usage: quillotide-cli " << g.name;
  if (!runsDirectly(g)) out << ' ' << c.name;
  out << (c.usage.empty() ? "" : " ") << c.usage << "\n\n" << c.summary << '\n';
}

bool isHelp(const std::string& w) { return w == "--help" || w == "-h" || w == "help"; }

}  // namespace

int runCli(const std::vector<std::string>& words, std::ostream& out, std::ostream& err) {
  const auto groups = allGroups();
  if (words.empty() || isHelp(words[0])) {
    printTopHelp(words.empty() ? err : out, groups);
    return words.empty() ? 2 : 0;
  }
  if (words[0] == "--version") {
    out << "quillotide-cli " << programVersion() << '\n';
    return 0;
  }
  const Group* group = nullptr;
  for (const auto& g : groups)
    if (g.name == words[0] && !g.commands.empty()) group = &g;
  if (!group) {
    err << "quillotide-cli: unknown group '" << words[0] << "' (see quillotide-cli --help)\n";
    return 2;
  }
  // A group of one command named like the group runs it directly (make-sample DIR).
  std::size_t next = 1;
  const Command* command = nullptr;
  if (runsDirectly(*group)) {
    command = &group->commands[0];
  } else {
    if (words.size() < 2 || isHelp(words[1])) {
      printGroupHelp(words.size() < 2 ? err : out, *group);
      return words.size() < 2 ? 2 : 0;
    }
    for (const auto& c : group->commands)
      if (c.name == words[1]) command = &c;
    if (!command) {
      err << "quillotide-cli: unknown command '" << words[1] << "' in group '" << group->name
          << "' (see quillotide-cli " << group->name << " --help)\n";
      return 2;
    }
    next = 2;
  }
  std::vector<std::string> rest(words.begin() + static_cast<std::ptrdiff_t>(next), words.end());
  for (const auto& w : rest) {
    if (w == "--help" || w == "-h") {
      printCommandHelp(out, *group, *command);
      return 0;
    }
  }
  Args args(rest);
  Context context{out, args.flag("json"), &err};
  // Notes of the file layer (an interrupted save finished on the way) go to stderr, after the
  // command's own output, whether it succeeded or not.
  auto printNotes = [&] {
    for (const auto& note : takeFileNotes()) err << "quillotide-cli: note: " << note << '\n';
  };
  takeFileNotes();
  try {
    const int code = command->run(args, context);
    printNotes();
    return code;
  } catch (const UsageError& e) {
    printNotes();
    err << "quillotide-cli: " << e.what() << '\n';
    printCommandHelp(err, *group, *command);
    return 2;
  } catch (const Error& e) {
    printNotes();
    err << "quillotide-cli: " << e.what() << '\n';
    return 1;
  } catch (const std::bad_alloc&) {
    printNotes();
    err << "quillotide-cli: out of memory\n";
    return 1;
  }
}

}  // namespace quillotide::cli
