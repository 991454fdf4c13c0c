// What the window calls on the dialog logic: creation, commands, closing.
#pragma once

#include <memory>
#include <string>

#include "view/side_services.h"

namespace qubopost::view {

class ControlView;

class DialogHandlers {
public:
    virtual ~DialogHandlers() = default;

    // The window's control table has been created; the view stays valid until the
    // window is gone (the window calls Attach(nullptr) only after StopJobs and once
    // JobsRunning() is false).
    virtual void Attach(ControlView* view) = 0;
    virtual bool OnInitDialog() = 0;
    // A push button was clicked (1015, 1016, 1019, 1020).
    virtual void OnCommand(int id) = 0;
    // A system command (the About item sends IDM_ABOUTBOX). false: not handled.
    virtual bool OnSysCommand(unsigned id) = 0;
    // Cancel: the "閉じる" button, Esc or the window's close box.
    virtual void OnCancel() = 0;
    // Esc, before it means Cancel: true when it ended something going on (a fetch) instead.
    virtual bool OnEscape() { return false; }

    // The window is closing: running jobs are told to stop and must stop using the view
    // soon. The window keeps serving view calls until JobsRunning() is false.
    virtual void StopJobs() = 0;
    virtual bool JobsRunning() = 0;

    // The user changed the text of a field (typing, pasting, or the program writing it).
    virtual void OnFieldEdited(int) {}
    // The window's own settings (size and place), stored with the program's settings.
    virtual std::string LoadWindowState() { return {}; }
    virtual void SaveWindowState(const std::string&) {}
    // What the small windows of the context menu work with: the key ring and the login test,
    // the settings file the logic keeps, the journal it posts with. Null: those windows are
    // not offered.
    virtual std::unique_ptr<SideServices> MakeSideServices() { return nullptr; }
    // Resume an unfinished run stored in that journal, from the journal alone (the fields are
    // not used or changed); 0 = the newest one that can be resumed.
    virtual void OnResumeRun(long long /*run*/) {}
    // 下書きとして投稿: whether blog destinations get drafts, and changing it (kept in the
    // settings file). false from SetDraftPosting: not kept (the user has been told why).
    virtual bool DraftPosting() { return false; }
    virtual bool SetDraftPosting(bool) { return false; }
};

}  // namespace qubopost::view
