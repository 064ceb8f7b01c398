// The local heap as LoadJpeg uses it: zero-filled fixed blocks, empty blocks, refusals.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "win32/test_probes.h"

namespace {

TEST(LocalHeapTest, LptrBlocksAreZeroFilledAndWritable) {
    int live = Win32LayerLiveLocalBlockCount();
    auto* block = static_cast<unsigned char*>(LocalAlloc(LPTR, 4096));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(Win32LayerLiveLocalBlockCount(), live + 1);
    for (int i = 0; i < 4096; ++i) ASSERT_EQ(block[i], 0) << i;
    std::memset(block, 0x5A, 4096);
    EXPECT_EQ(LocalFree(block), nullptr);
    EXPECT_EQ(Win32LayerLiveLocalBlockCount(), live);
}

TEST(LocalHeapTest, EmptyRequestGivesDistinctValidBlocks) {
    HLOCAL first = LocalAlloc(LPTR, 0);
    HLOCAL second = LocalAlloc(LPTR, 0);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(LocalFree(first), nullptr);
    EXPECT_EQ(LocalFree(second), nullptr);
}

TEST(LocalHeapTest, RequestsThatCannotBeMetReturnNull) {
    int live = Win32LayerLiveLocalBlockCount();
    SetLastError(0);
    EXPECT_EQ(LocalAlloc(LPTR, ~SIZE_T{0}), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    // The size of a 65535 x 65535 24-bit picture's rows where sizes have 64 bits; with 32-bit
    // sizes (where that product would wrap round to a small size), all but the last page of
    // the address space.
    const SIZE_T huge = sizeof(SIZE_T) >= 8 ? static_cast<SIZE_T>(uint64_t{196608} * 65535 * 65535)
                                            : ~SIZE_T{0} - 4095;
    EXPECT_EQ(LocalAlloc(LPTR, huge), nullptr);
    EXPECT_EQ(Win32LayerLiveLocalBlockCount(), live);
}

TEST(LocalHeapTest, FreeRefusesForeignPointersAndTakesNull) {
    int local = 0;
    EXPECT_EQ(LocalFree(&local), &local);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(LocalFree(nullptr), nullptr);
    HLOCAL block = LocalAlloc(LPTR, 8);
    ASSERT_EQ(LocalFree(block), nullptr);
    // A second free of the same block is refused rather than corrupting the heap.
    EXPECT_EQ(LocalFree(block), block);
}

}  // namespace
