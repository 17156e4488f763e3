#include "sample/Sample.h"

#include <sys/stat.h>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Text.h"

namespace quillotide::sample {

const std::vector<SampleFile>& sampleFiles() {
  static const std::vector<SampleFile> files = {
      {"AnimIdx", "anim.idx"},       {"AnimMul", "anim.mul"},      {"Verdata", "verdata.mul"},
      {"GumpIdx", "gumpidx.mul"},    {"GumpMul", "gumpart.mul"},   {"ArtIdx", "artidx.mul"},
      {"ArtMul", "art.mul"},         {"TexIdx", "texidx.mul"},     {"TexMul", "texmaps.mul"},
      {"RadarCol", "radarcol.mul"},  {"LightIdx", "lightidx.mul"}, {"LightMul", "light.mul"},
      {"Tiledata", "tiledata.mul"},  {"Anim2Idx", "anim2.idx"},    {"Anim2Mul", "anim2.mul"},
      {"Anim3Idx", "anim3.idx"},     {"Anim3Mul", "anim3.mul"},    {"Anim4Idx", "anim4.idx"},
      {"Anim4Mul", "anim4.mul"},     {"Anim5Idx", "anim5.idx"},    {"Anim5Mul", "anim5.mul"},
      {"Animdata", "animdata.mul"},  {"Hues", "hues.mul"},         {"StaticIdx", "staidx0.mul"},
      {"StaticMul", "statics0.mul"}, {"Map", "map0.mul"},
      {"SoundIdx", "soundidx.mul"},  {"SoundMul", "sound.mul"},
      {"MultiIdx", "multi.idx"},     {"MultiMul", "multi.mul"},
      {"ProgressIdx", "Progress.idx"}, {"ProgressMul", "Progress.mul"},
      {"Cliloc", "Cliloc.enu"},      {"Fonts", "fonts.mul"},       {"Unifont", "unifont.mul"},
      {"SkillsIdx", "skills.idx"},   {"SkillsMul", "skills.mul"},  {"SkillGroups", "skillgrp.mul"},
      {"Speech", "speech.mul"},      {"Multimap", "Multimap.rle"},
  };
  return files;
}

void writeSampleSet(const std::string& dir) {
  ::mkdir(dir.c_str(), 0755);
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    throw FileError(formatMessage("Cannot create file %s", {dir}));
  writeHues(dir);
  writeTiledata(dir);
  writeArt(dir);
  writeGumps(dir);
  writeTextures(dir);
  writeLight(dir);
  writeRadarcol(dir);
  writeAnimations(dir);
  writeAnimdata(dir);
  writeVerdata(dir);
  writeWorld(dir);
  writeSounds(dir);
  writeMultis(dir);
  writeProgress(dir);
  writeUopForms(dir);
  writeCliloc(dir);
  writeFonts(dir);
  writeUnifont(dir);
  writeSkills(dir);
  writeSpeech(dir);
  writeMultimap(dir);
}

bool sampleSetComplete(const std::string& dir) {
  for (const auto& f : sampleFiles())
    if (!fileExists(joinPath(dir, f.fileName))) return false;
  return true;
}

}  // namespace quillotide::sample
