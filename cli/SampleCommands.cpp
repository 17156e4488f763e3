#include "cli/Cli.h"
#include "sample/Sample.h"

namespace quillotide::cli {

namespace {

int makeSample(Args& args, Context& ctx) {
  const auto p = args.positionals(1, 1);
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
          {{"make-sample", "DIR", "Writes the sample client files into DIR (created when missing).",
            makeSample}}};
}

}  // namespace quillotide::cli
