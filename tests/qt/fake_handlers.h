// A stand-in for the dialog logic: records what the window calls on it and lets a
// test decide what happens next.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "resources/control_table.h"
#include "view/control_view.h"
#include "view/dialog_handlers.h"

class FakeHandlers : public qubopost::view::DialogHandlers {
public:
    void Attach(qubopost::view::ControlView* view) override {
        if (!view) jobsRunningAtDetach = jobs > 0;
        log.push_back(view ? "Attach" : "Detach");
        this->view = view;
    }
    bool OnInitDialog() override {
        log.push_back("InitDialog");
        if (onInitDialog) onInitDialog();
        return true;
    }
    void OnCommand(int id) override { commands.push_back(id); }
    bool OnSysCommand(unsigned id) override {
        sysCommands.push_back(id);
        return true;
    }
    void OnCancel() override {
        ++cancels;
        if (endOnCancel) view->EndDialog(qubopost::resources::IDCANCEL);
    }
    void StopJobs() override {
        log.push_back("StopJobs");
        stopRequested = true;
    }
    bool JobsRunning() override { return jobs > 0; }

    qubopost::view::ControlView* view = nullptr;
    // Window's thread only.
    std::vector<std::string> log;
    std::vector<int> commands;
    std::vector<unsigned> sysCommands;
    int cancels = 0;
    bool endOnCancel = false;
    bool jobsRunningAtDetach = false;
    std::function<void()> onInitDialog;
    // Shared with the test's worker threads.
    std::atomic<bool> stopRequested{false};
    std::atomic<int> jobs{0};  // jobs started and not yet ended
};
