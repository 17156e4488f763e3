#include <gtest/gtest.h>

#include "app/Uop.h"
#include "cli/CliRun.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::runCliWords;
using quillotide::test::TempDir;

namespace {

// A multi container with two known entries (one of them compressed) and one of an unknown name.
struct MultiUop {
  TempDir dir;
  std::string path = dir.file("MultiCollection.uop");
  MultiUop() {
    UopContainer c = UopContainer::create();
    c.setPayload(uopHash("build/multicollection/000000.bin"), Bytes(20, 1));
    c.setPayload(uopHash("build/multicollection/000001.bin"), Bytes(600, 2), true);
    c.setPayload(uopHash("build/somewhere/else.bin"), Bytes(3, 3));
    c.save(path);
  }
};

}  // namespace

TEST(UopCli, ListsEveryEntryWithItsHashNameAndSizes) {
  MultiUop u;
  auto r = runCliWords({"uop", "list", u.path, "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.find(R"({"position":0,"hash":"665FF35AC79D382B",)"
                       R"("name":"build/multicollection/000000.bin","headerLength":12,)"
                       R"("storedSize":20,"size":20,"compression":0})"),
            1u)
      << r.out;
  EXPECT_NE(r.out.find(R"("name":"build/multicollection/000001.bin")"), std::string::npos);
  EXPECT_NE(r.out.find(R"("size":600,"compression":1})"), std::string::npos) << r.out;
  const std::size_t third = r.out.find(R"({"position":2,)");
  ASSERT_NE(third, std::string::npos) << r.out;
  EXPECT_NE(r.out.find(R"("name":null,"headerLength":12,"storedSize":3,"size":3)", third),
            std::string::npos)
      << r.out;

  r = runCliWords({"uop", "list", u.path});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')),
            "0 665FF35AC79D382B 12 20 20 0 build/multicollection/000000.bin");
  EXPECT_NE(r.out.find(" 3 3 0 -\n"), std::string::npos) << r.out;
}

TEST(UopCli, VerifyPassesSoundContainersAndNamesTheFirstFault) {
  MultiUop u;
  auto r = runCliWords({"uop", "verify", u.path});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, u.path + ": OK (3 entries in 1 table)\n");
  r = runCliWords({"uop", "verify", u.path, "--json"});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find(R"("ok":true,"entries":3,"tables":1)"), std::string::npos) << r.out;

  // The compressed entry's full size raised by one: its stream no longer fits what the record says.
  Bytes bytes = test::readBytes(u.path);
  const std::size_t record1 = 40 + 12 + 34;
  storeU32(bytes.data() + record1 + 16, 601);
  test::writeBytes(u.path, bytes);
  const Bytes damaged = bytes;
  r = runCliWords({"uop", "verify", u.path});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find(u.path + ": entry 1 (hash C0F9572E70EE2C15, "
                                "build/multicollection/000001.bin): zlib stream inflates to 600 "
                                "bytes, not its full size 601"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(test::readBytes(u.path), damaged);  // checking writes nothing

  // A container cut within its first entry cannot even be listed.
  bytes.resize(40 + 12 + 34 * 100 + 20);
  test::writeBytes(u.path, bytes);
  r = runCliWords({"uop", "list", u.path});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("entry 0 (hash 665FF35AC79D382B, build/multicollection/000000.bin): "
                       "stored size 20 at offset 3464 runs past the end of the file (3472 bytes)"),
            std::string::npos)
      << r.err;
  r = runCliWords({"uop", "verify", u.path, "--json"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find(R"("ok":false,"fault":"entry 0 (hash 665FF35AC79D382B)"), std::string::npos)
      << r.out;

  r = runCliWords({"uop", "verify", u.dir.file("missing.uop")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("Cannot open file"), std::string::npos) << r.err;
  r = runCliWords({"uop", "verify"});
  EXPECT_EQ(r.code, 2);
  r = runCliWords({"uop", "list", "--help"});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("Usage: quillotide-cli uop list FILE"), std::string::npos) << r.out;
}
