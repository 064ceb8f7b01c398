// The typed handle table: stale and wrong-kind handles fail, counts follow the objects.
#include <gtest/gtest.h>

#include <vector>

#include "handle_table.h"

namespace {

TEST(HandleTableTest, StaleHandleFailsAfterItsSlotIsReused) {
    int object = 1;
    int other = 2;
    HANDLE first = HandleCreate(HandleKind::Module, &object);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(HandleLookup(first, HandleKind::Module), &object);
    EXPECT_EQ(HandleRelease(first, HandleKind::Module), &object);
    // The freed slot is taken again; the old value must not reach the new object.
    HANDLE second = HandleCreate(HandleKind::Module, &other);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(HandleLookup(first, HandleKind::Module), nullptr);
    EXPECT_EQ(HandleRelease(first, HandleKind::Module), nullptr);
    EXPECT_EQ(HandleLookup(second, HandleKind::Module), &other);
    EXPECT_EQ(HandleRelease(second, HandleKind::Module), &other);
}

TEST(HandleTableTest, WrongKindFailsAndLeavesTheHandleAlive) {
    int object = 1;
    HANDLE handle = HandleCreate(HandleKind::Brush, &object);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(HandleLookup(handle, HandleKind::Bitmap), nullptr);
    EXPECT_EQ(HandleRelease(handle, HandleKind::File), nullptr);
    HandleKind kind = HandleKind::Count;
    ASSERT_TRUE(HandleKindOf(handle, &kind));
    EXPECT_EQ(kind, HandleKind::Brush);
    EXPECT_EQ(HandleRelease(handle, HandleKind::Brush), &object);
    EXPECT_FALSE(HandleKindOf(handle, &kind));
}

TEST(HandleTableTest, ForgedValuesFail) {
    const uintptr_t kValues[] = {
        0, 1, 3, 4, 0xFFFFFFFF, ~uintptr_t{0}, uintptr_t{1} << (8 * sizeof(uintptr_t) - 2)};
    for (uintptr_t value : kValues) {
        auto* handle = reinterpret_cast<void*>(value);
        EXPECT_EQ(HandleLookup(handle, HandleKind::File), nullptr) << value;
        EXPECT_FALSE(HandleKindOf(handle, nullptr)) << value;
    }
}

TEST(HandleTableTest, LiveCountsReturnToTheirStart) {
    int start = HandleLiveCount(HandleKind::Window);
    int object = 0;
    std::vector<HANDLE> handles;
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 50; ++i) handles.push_back(HandleCreate(HandleKind::Window, &object));
        EXPECT_EQ(HandleLiveCount(HandleKind::Window), start + 50);
        for (HANDLE h : handles) EXPECT_EQ(HandleRelease(h, HandleKind::Window), &object);
        handles.clear();
        EXPECT_EQ(HandleLiveCount(HandleKind::Window), start);
    }
    EXPECT_EQ(HandleLiveCount(HandleKind::Count), -1);
}

TEST(HandleTableTest, StockHandlesAreNotCountedAndNotReleased) {
    static int stock_object = 0;
    int start = HandleLiveCount(HandleKind::Brush);
    HANDLE stock = HandleCreateStock(HandleKind::Brush, &stock_object);
    ASSERT_NE(stock, nullptr);
    EXPECT_EQ(HandleLiveCount(HandleKind::Brush), start);
    EXPECT_TRUE(HandleIsStock(stock));
    EXPECT_EQ(HandleRelease(stock, HandleKind::Brush), nullptr);
    EXPECT_EQ(HandleLookup(stock, HandleKind::Brush), &stock_object);
}

}  // namespace
