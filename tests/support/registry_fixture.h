// A test fixture with a temporary folder of its own and a registry database in it
// (registry.sqlite3), for the suites that run on the Linux layer. With use_registry (the
// default) the layer uses that database from SetUp on; otherwise the test hands its path to the
// program it runs, or opens it itself when it is ready. TearDown returns the layer to its
// default database and removes the folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>

#include "temp_folder.h"
#include "win32/host_services.h"

namespace testsupport {

class TempRegistryTest : public testing::Test {
protected:
    explicit TempRegistryTest(bool use_registry = true) : use_registry_(use_registry) {}

    void SetUp() override {
        folder_ = MakeTempFolder("varnel_test");
        ASSERT_FALSE(folder_.empty()) << "no temporary folder";
        registry_path_ = folder_ / "registry.sqlite3";
        if (use_registry_) Win32LayerSetRegistryPath(registry_path_.c_str());
    }
    void TearDown() override {
        Win32LayerSetRegistryPath(nullptr);
        RemoveFolder(folder_);
    }

    std::filesystem::path folder_;
    std::filesystem::path registry_path_;

private:
    bool use_registry_;
};

}  // namespace testsupport
