#pragma once
// A randomized state machine over the open-files owner: seeded sequences of opens from two
// client folders in both forms, edits, saves, saves as, whole-file tools that write or read,
// client folder changes and closes, with the questions answered at random. Beside the owner runs
// a plain reference of what every file on disk and every open model must hold; after every step
// it checks that no file changed that the step did not name, that no unsaved edit went without a
// "discard" answer, that every open model equals its files plus its unsaved edits, and that the
// entries a container holds of other families stay.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillotide::test {

struct MachineStep {
  enum class Op { Open, Edit, Save, SaveAs, ToolWrite, ToolRead, Folder, Close };
  Op op = Op::Open;
  int family = 0;  // index into the machine's families
  int folder = 0;  // 0 and 1: the two client folders, 2: an empty folder (save-as targets only)
  bool uop = false;      // the container form, where the family has one
  bool viaLink = false;  // the path through a link to the folder
  int answer = 0;        // 0 save, 1 discard, 2 cancel
  std::uint32_t value = 0;
};

struct MachineFailure {
  std::string message;
  std::vector<MachineStep> steps;  // the sequence that fails (shrunk when asked)
};

// The steps a seed gives.
std::vector<MachineStep> machineSteps(std::uint64_t seed, int count);
// Runs the steps on a fresh pair of client folders; the failure, or nullopt.
std::optional<MachineFailure> runMachine(const std::vector<MachineStep>& steps, bool lowMemory);
// The shortest sequence found (by removing steps one at a time) that still fails.
MachineFailure shrinkMachine(const MachineFailure& failure, bool lowMemory);
std::string describeSteps(const std::vector<MachineStep>& steps);

}  // namespace quillotide::test
