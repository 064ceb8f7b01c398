// A dialog procedure for tests: it records the messages it is sent and runs the test's own
// code on WM_INITDIALOG and on WM_COMMAND; and a fixture that starts each test with no queued
// actions and empty records, and checks that every window made was destroyed.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "dialog_template_writer.h"
#include "win32/dialog_driver.h"
#include "win32/host_services.h"
#include "win32/test_probes.h"

struct SeenCommand {
    WORD id;
    WORD code;
    HWND control;
};

struct DialogHarness {
    std::vector<UINT> messages;
    std::vector<SeenCommand> commands;
    LPARAM init_param = 0;
    HWND init_focus = nullptr;
    std::function<void(HWND)> on_init;
    std::function<void(HWND, WORD)> on_command;
};

inline DialogHarness& Harness() {
    static DialogHarness harness;
    return harness;
}

inline INT_PTR CALLBACK HarnessDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    DialogHarness& harness = Harness();
    harness.messages.push_back(message);
    if (message == WM_INITDIALOG) {
        harness.init_param = lparam;
        harness.init_focus = reinterpret_cast<HWND>(wparam);
        if (harness.on_init) harness.on_init(dialog);
        return TRUE;
    }
    if (message == WM_COMMAND) {
        harness.commands.push_back(
            {LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam)});
        if (harness.on_command) harness.on_command(dialog, LOWORD(wparam));
        return TRUE;
    }
    return FALSE;
}

class DialogTest : public testing::Test {
protected:
    void SetUp() override {
        Harness() = DialogHarness();
        Win32LayerClearActions();
        Win32LayerClearMessageBoxes();
        Win32LayerClearOpenFileDialogs();
        windows_before_ = Win32LayerLiveHandleCount(WIN32LAYER_KIND_WINDOW);
    }
    void TearDown() override {
        EXPECT_EQ(Win32LayerLiveHandleCount(WIN32LAYER_KIND_WINDOW), windows_before_);
        Win32LayerClearActions();
    }

    INT_PTR Run(const TestDialog& dialog, LPARAM param = 0) {
        std::vector<uint8_t> bytes = WriteDialogTemplate(dialog);
        return Win32LayerDialogBoxFromBytes(nullptr, bytes.data(), bytes.size(), nullptr,
                                            HarnessDialogProc, param);
    }

    // Ends the dialog with the id of the button pressed.
    static void EndOnCommand(WORD id_to_end) {
        Harness().on_command = [id_to_end](HWND dialog, WORD id) {
            if (id == id_to_end) EndDialog(dialog, id);
        };
    }

    int windows_before_ = 0;
};
