#include <cstdio>
#include <sstream>

#include "app/FileIO.h"
#include "app/Uop.h"
#include "cli/Cli.h"

namespace quillotide::cli {

namespace {

std::string hashText(std::uint64_t hash) {
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(hash));
  return buf;
}

int list(Args& args, Context& ctx) {
  const auto p = args.positionals(1, 1);
  const UopContainer uop = UopContainer::read(p[0]);
  Json::Array rows;
  std::ostringstream text;
  const auto& entries = uop.entries();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const UopEntry& e = entries[i];
    const auto name = uopKnownName(e.hash);
    if (ctx.json) {
      rows.push_back(Json::Object{{"position", static_cast<std::uint64_t>(i)},
                                  {"hash", hashText(e.hash)},
                                  {"name", name ? Json(*name) : Json()},
                                  {"headerLength", static_cast<std::uint64_t>(e.headerSize())},
                                  {"storedSize", e.storedSize()},
                                  {"size", e.fullSize},
                                  {"compression", static_cast<std::uint32_t>(e.compression)}});
    } else {
      text << i << ' ' << hashText(e.hash) << ' ' << e.headerSize() << ' ' << e.storedSize() << ' '
           << e.fullSize << ' ' << e.compression << ' ' << name.value_or("-") << '\n';
    }
  }
  ctx.report(rows, text.str());
  return 0;
}

int verify(Args& args, Context& ctx) {
  const auto p = args.positionals(1, 1);
  const Bytes bytes = readFile(p[0]);
  if (const auto fault = verifyUop(bytes)) {
    if (ctx.json) ctx.report(Json::Object{{"ok", false}, {"fault", *fault}}, "");
    throw Error(p[0] + ": " + *fault);
  }
  const UopContainer uop = UopContainer::parse(bytes, p[0]);
  const std::uint64_t entries = uop.entries().size();
  const std::uint64_t tables = uop.tableCount();
  ctx.report(Json::Object{{"ok", true}, {"entries", entries}, {"tables", tables}},
             p[0] + ": OK (" + std::to_string(entries) + " entries in " + std::to_string(tables) +
                 (tables == 1 ? " table)" : " tables)"));
  return 0;
}

}  // namespace

// Converting between containers and MUL files (cli/UopPackCommands.cpp).
std::vector<Command> uopPackCommands();

Group uopGroup() {
  Group group{
      "uop",
      "UOP containers of current clients (artLegacyMUL.uop, MultiCollection.uop, ...): their "
      "entries and their soundness.",
      {
          {"list", "FILE",
           "Every entry in file order: position, name hash, data header length, stored size, "
           "full size, compression (0 stored, 1 zlib) and the entry's name where it is known "
           "(- otherwise). With --json an array of objects with position, hash, name (or "
           "null), headerLength, storedSize, size and compression.",
           list},
          {"verify", "FILE",
           "Checks the header, every table, offset and size, the Adler-32 of every data "
           "header and every zlib stream. Exit 0 when all is sound, 1 naming the first fault.",
           verify},
      }};
  for (Command& c : uopPackCommands()) group.commands.push_back(std::move(c));
  return group;
}

}  // namespace quillotide::cli
