// Run: cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_pgcopy
//      build/fuzz/fuzz/fuzz_pgcopy /tmp/corpus-pgcopy -max_total_time=60
//
// Arbitrary bytes as one row of a binary COPY from the server: refused with a DatabaseError or
// read into fields that lie inside the row; a row written field by field reads back the same.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "app/Postgres.h"

using namespace quillotide;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  try {
    const PgCopyFields fields(bytes);
    Bytes again;
    PgCopyRow row(again, fields.count());
    for (int i = 0; i < fields.count(); ++i) {
      const auto f = fields.field(i);
      if (!f) {
        row.null();
        continue;
      }
      if (f->data() < bytes.data() || f->data() + f->size() > bytes.data() + bytes.size())
        std::abort();
      if (f->size() == 2 || f->size() == 4 || f->size() == 8) (void)fields.integer(i);
      row.bytes(*f);
    }
    const PgCopyFields reread(again);
    if (reread.count() != fields.count()) std::abort();
    for (int i = 0; i < fields.count(); ++i) {
      const auto a = fields.field(i);
      const auto b = reread.field(i);
      if (a.has_value() != b.has_value()) std::abort();
      if (a && !std::equal(a->begin(), a->end(), b->begin(), b->end())) std::abort();
    }
  } catch (const DatabaseError&) {
  }
  return 0;
}
