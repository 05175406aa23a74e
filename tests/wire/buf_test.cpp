#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "seatenrol/wire.h"

namespace {
bool failNextAllocation = false;
}  // namespace

// The buffer allocates with the non-throwing array form; this test binary can
// make the next such allocation fail.
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  if (failNextAllocation) {
    failNextAllocation = false;
    return nullptr;
  }
  return std::malloc(size == 0 ? 1 : size);
}

void* operator new[](std::size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void operator delete[](void* block) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

namespace {

bool AllZero(const CBuf& buf) {
  for (unsigned int i = 0; i < buf.GetCapacity(); ++i)
    if (buf.GetData()[i] != 0) return false;
  return true;
}

TEST(CBufTest, NewAndFreedBuffersAreEmpty) {
  CBuf buf;
  const unsigned char byte = 1;
  EXPECT_EQ(buf.GetData(), nullptr);
  EXPECT_EQ(buf.Append(&byte, 1), 0);
  buf.Reset();
  buf.Free();  // nothing to release
  EXPECT_EQ(buf.GetCapacity(), 0u);

  ASSERT_EQ(buf.Alloc(1024), 1);
  EXPECT_EQ(buf.GetCapacity(), 1024u);
  EXPECT_EQ(buf.GetDataLen(), 0u);
  EXPECT_TRUE(AllZero(buf));
  ASSERT_EQ(buf.Append(&byte, 1), 1);

  buf.Free();
  EXPECT_EQ(buf.GetData(), nullptr);
  EXPECT_EQ(buf.GetCapacity(), 0u);
  EXPECT_EQ(buf.GetDataLen(), 0u);
  EXPECT_EQ(buf.Append(&byte, 1), 0);
}

TEST(CBufTest, AppendFillsExactlyToCapacityAndRefusesMore) {
  CBuf buf;
  ASSERT_EQ(buf.Alloc(8), 1);
  const unsigned char bytes[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};

  EXPECT_EQ(buf.Append(bytes, 0), 1);
  EXPECT_EQ(buf.GetDataLen(), 0u);
  EXPECT_EQ(buf.Append(nullptr, 1), 0);
  EXPECT_EQ(buf.Append(bytes, 9), 0);
  EXPECT_EQ(buf.GetDataLen(), 0u);

  ASSERT_EQ(buf.Append(bytes, 5), 1);
  ASSERT_EQ(buf.Append(bytes + 5, 3), 1);
  EXPECT_EQ(buf.GetDataLen(), 8u);
  EXPECT_EQ(buf.Append(bytes + 8, 1), 0);
  EXPECT_EQ(buf.GetDataLen(), 8u);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(buf.GetData()[i], bytes[i]);
}

TEST(CBufTest, SetDataLenStaysWithinCapacity) {
  CBuf buf;
  EXPECT_EQ(buf.SetDataLen(0), 1);
  EXPECT_EQ(buf.SetDataLen(1), 0);
  ASSERT_EQ(buf.Alloc(16), 1);
  EXPECT_EQ(buf.SetDataLen(16), 1);
  EXPECT_EQ(buf.SetDataLen(17), 0);
  EXPECT_EQ(buf.SetDataLen(0xFFFFFFFFu), 0);
  EXPECT_EQ(buf.GetDataLen(), 16u);
  // Room left is now zero: no append, however small, fits.
  const unsigned char byte = 1;
  EXPECT_EQ(buf.Append(&byte, 1), 0);
}

TEST(CBufTest, ResetClearsTheWholeStorage) {
  CBuf buf;
  ASSERT_EQ(buf.Alloc(32), 1);
  const unsigned char bytes[4] = {9, 9, 9, 9};
  ASSERT_EQ(buf.Append(bytes, 4), 1);
  buf.GetData()[20] = 7;  // beyond the fill length
  buf.Reset();
  EXPECT_EQ(buf.GetDataLen(), 0u);
  EXPECT_TRUE(AllZero(buf));
}

TEST(CBufTest, AllocAgainReplacesTheBlock) {
  CBuf buf;
  ASSERT_EQ(buf.Alloc(16), 1);
  const unsigned char bytes[4] = {5, 5, 5, 5};
  ASSERT_EQ(buf.Append(bytes, 4), 1);
  ASSERT_EQ(buf.Alloc(1024), 1);
  EXPECT_EQ(buf.GetCapacity(), 1024u);
  EXPECT_EQ(buf.GetDataLen(), 0u);
  EXPECT_TRUE(AllZero(buf));
}

TEST(CBufTest, FailedAllocLeavesAnEmptyBuffer) {
  CBuf buf;
  ASSERT_EQ(buf.Alloc(64), 1);
  failNextAllocation = true;
  EXPECT_EQ(buf.Alloc(128), 0);
  EXPECT_EQ(buf.GetData(), nullptr);
  EXPECT_EQ(buf.GetCapacity(), 0u);
  EXPECT_EQ(buf.GetDataLen(), 0u);
  const unsigned char byte = 1;
  EXPECT_EQ(buf.Append(&byte, 1), 0);
}

}  // namespace
