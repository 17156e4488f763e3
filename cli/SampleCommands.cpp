#include "cli/Cli.h"
#include "sample/Sample.h"
#include "sample/SampleClient.h"

namespace quillotide::cli {

namespace {

int makeSample(Args& args, Context& ctx) {
  const bool client = args.flag("client");
  const auto p = args.positionals(1, 1);
  if (client) {
    sample::writeSampleClient(p[0]);
    ctx.report(Json::Object{{"dir", p[0]}, {"client", true}},
               "wrote a client folder into " + p[0]);
    return 0;
  }
  sample::writeSampleSet(p[0]);
  Json::Array files;
  for (const auto& f : sample::sampleFiles()) files.push_back(f.fileName);
  ctx.report(Json::Object{{"dir", p[0]}, {"files", files}}, "wrote the sample set into " + p[0]);
  return 0;
}

}  // namespace

Group sampleGroup() {
  return {"make-sample",
          "Writes a small, complete, deterministic client set drawn by code.",
          {{"make-sample", "[--client] DIR",
            "Writes the sample client files into DIR (created when missing). --client writes a "
            "client folder as a Windows install copied to Linux has it: mixed-case names, UOP "
            "and MUL side by side, facets 0 to 5 at their real sizes (maps sparse), diff sets "
            "for facets 0 and 2.",
            makeSample}}};
}

}  // namespace quillotide::cli
