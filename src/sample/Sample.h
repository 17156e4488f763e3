#pragma once
// The sample client set: a small, complete, deterministic set of game files drawn by code, so a
// newcomer sees pictures without owning the game. Every family writes its own files.

#include <string>
#include <utility>
#include <vector>

namespace quillotide::sample {

struct SampleFile {
  std::string configKey;  // the Settings key that names the file
  std::string fileName;   // the file's name inside the sample folder
};

// Every file of the set with its Settings key, in Settings order.
const std::vector<SampleFile>& sampleFiles();

// Writes the whole set into dir (created when missing); throws Error on failure.
void writeSampleSet(const std::string& dir);
// True when every file of the set exists in dir.
bool sampleSetComplete(const std::string& dir);

// One writer per family; each writes only its own files into dir.
void writeHues(const std::string& dir);
void writeTiledata(const std::string& dir);
void writeArt(const std::string& dir);
void writeGumps(const std::string& dir);
void writeTextures(const std::string& dir);
void writeLight(const std::string& dir);
void writeRadarcol(const std::string& dir);
void writeAnimations(const std::string& dir);
void writeAnimdata(const std::string& dir);
void writeVerdata(const std::string& dir);
// map0.mul, staidx0.mul, statics0.mul of a kSampleWorldSize-square world, and the world files
// world.txt, world.scp (Sphere51a) and world.wsc.
void writeWorld(const std::string& dir);

// soundidx.mul / sound.mul: a bell, footsteps and a chord in slots 0x0 .. 0x2.
void writeSounds(const std::string& dir);
// multi.idx / multi.mul: a house, a tent and a boat of the sample statics in slots 0x0 .. 0x2.
void writeMultis(const std::string& dir);
// artLegacyMUL.uop, gumpartLegacyMUL.uop, soundLegacyMUL.uop, MultiCollection.uop and
// map0LegacyMUL.uop: the same art, gumps, sounds, multis and map as the MUL files already written
// into dir, as containers.
void writeUopForms(const std::string& dir);
// Progress.idx / Progress.mul: static art ids 0x10 and 0x1D and gump 0x1 as alpha pictures.
void writeProgress(const std::string& dir);
// Cliloc.enu: texts in Latin with accents, Chinese and Korean, with a tab and blanks at the ends.
void writeCliloc(const std::string& dir);
// fonts.mul: three fonts of letters, digits and punctuation, and a few bytes after the last.
void writeFonts(const std::string& dir);
// unifont.mul: the printable ASCII characters, two accented letters and two CJK characters.
void writeUnifont(const std::string& dir);
// skills.idx / skills.mul (records stored out of index order) and skillgrp.mul.
void writeSkills(const std::string& dir);
// speech.mul: keywords in two language lists, with an empty entry and a byte-order mark.
void writeSpeech(const std::string& dir);
// Multimap.rle: the sample world's coast, road and house as a monochrome overview.
void writeMultimap(const std::string& dir);

// The sample world's side in cells.
constexpr int kSampleWorldSize = 256;
// Settings the sample set needs beside its paths: the world size and the editor's start cell in
// the middle of the world.
const std::vector<std::pair<std::string, std::string>>& sampleSettings();

}  // namespace quillotide::sample
