// A key over many records must not allocate per record once its buffers have grown. The
// global allocation functions of this test binary count the allocations of the calling thread.
#include <cstdlib>
#include <gtest/gtest.h>
#include <new>

#include "dbe/expr/expr_test_util.h"

namespace {
thread_local long tAllocations = 0;
}  // namespace

void* operator new(std::size_t size) {
  ++tAllocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace dbe::expr {
namespace {

TEST(AllocationTest, RepeatedEvaluationAllocatesNothing) {
  ValueRecordContext rec;
  const FieldHandle name = rec.addField("NAME", Type::kText, 40);
  const FieldHandle amount = rec.addField("AMOUNT", Type::kNumber);
  const FieldHandle due = rec.addField("DUE", Type::kDate);
  const FieldHandle inactive = rec.addField("VENDINACT", Type::kLogical);
  rec.set(name, "Smith Trucking and Freight Incorporated");
  rec.set(amount, 1234.5);
  rec.set(due, rt::Date::fromYmd(2016, 3, 7));
  rec.set(inactive, false);
  for (const char* text : {"UPPER(NAME)", "UPPER(NAME)+STR(AMOUNT,12,2)+DTOS(DUE)",
                           "vendinact<>.t. .AND. UPPER(TRIM(NAME))='SMITH'",
                           "PADR(LOWER(NAME),50)-SUBSTR(NAME,3,20)"}) {
    Result<Expression> e = compile(text, rec);
    ASSERT_TRUE(e.isOk()) << e.status().toString();
    ValueView v;
    const long first = tAllocations;
    ASSERT_TRUE(e->evaluate(rec, &v).isOk());
    EXPECT_LT(first, tAllocations) << text << ": the buffers grow (and are counted) here";
    const long before = tAllocations;
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(e->evaluate(rec, &v).isOk());
    EXPECT_EQ(before, tAllocations) << text;
  }
}

}  // namespace
}  // namespace dbe::expr
