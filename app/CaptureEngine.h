#pragma once
// CaptureEngine, the automation object behind every action of the program:
// the program drives its own instance, and other programs create instances
// through COM. Interactive captures are guarded by the busy state, which
// all instances of the process share: while one overlay runs, a second
// request from anywhere returns S_FALSE (1) and touches nothing.
#include "app/ToolBarControl.h"
#include "capture/CaptureOperations.h"
#include "capture/CountdownWnd.h"
#include "platform/Window.h"

#include <ShotDeskLib.h>
#include <windows.h>

#include <functional>

class CaptureOptions;
class CCorvaneApp;

class CCaptureEngine : public ICaptureEngine {
public:
    enum Busy : long {
        kIdle = 0,
        kBusyFullScreen = 1,
        kBusyWindow = 2,
        kBusyRegion = 3,
        kBusyResize = 4,
        kBusyAbout = 5,
        kBusyOptionsDialog = 6,
    };
    static constexpr long kStatusOk = S_OK;
    static constexpr long kStatusBusy = S_FALSE;
    // A success-class value: the call did nothing for want of options.
    static constexpr long kStatusNoOptions = 0x00080012;
    // Success-class values of the program's own calls: the user cancelled
    // the countdown (or the program is ending), and no last rectangle is
    // stored (or it lies on no monitor any more).
    static constexpr long kStatusCancelled = 0x00080013;
    static constexpr long kStatusNoLastRectangle = 0x00080014;
    // The captures that a countdown can come before.
    enum class DelayedCapture { FullScreen, Window, Region };

    // Counts against the application's lock count. Reads the process's
    // options (SetProcessOptions) at each call unless given its own.
    CCaptureEngine();
    virtual ~CCaptureEngine();
    CCaptureEngine(const CCaptureEngine&) = delete;
    CCaptureEngine& operator=(const CCaptureEngine&) = delete;

    // The options every instance in this process works with: the
    // application's own, or the per-user options loaded by a process that
    // COM started, so that other programs' instances can capture. Each call
    // reads them afresh, so the process clears them before it deletes the
    // object and a late call from a client finds none instead of freed
    // memory.
    static void SetProcessOptions(CaptureOptions* options);
    static CaptureOptions* ProcessOptions();
    // The application's main window, brought forward by ShowToolBar and
    // owning the clipboard for copied captures, whichever instance does it.
    static void SetProcessMainWindow(HWND main);
    static HWND ProcessMainWindow();
    // The interactive program's own object, whose toolbar every object of
    // the process shows and hides (so "snapctl toolbar" shows the program's
    // toolbar, which stays when the client lets its object go); nullptr in a
    // process that serves automation only, where each object has its own.
    static void SetApplicationEngine(CCaptureEngine* engine);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IDispatch, served from the type library in the program file.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* badArgument) override;

    // ICaptureEngine
    STDMETHODIMP CaptureFullScreen() override;
    // The address, within this process, of the options object. Only the
    // process's own options object is accepted (its address's low 32 bits);
    // any other value is refused with E_INVALIDARG and changes nothing.
    STDMETHODIMP SetOptions(ULONG optionsInterface) override;
    STDMETHODIMP GetOptions(IDispatch** optionsInterface) override;
    STDMETHODIMP Capture() override;
    STDMETHODIMP CaptureTopWindows() override { return kStatusOk; }
    // pBitmap is never written: the picture goes through post-processing.
    STDMETHODIMP CaptureRect(LONG x, LONG y, LONG width, LONG height, HBITMAP* bitmap) override;
    STDMETHODIMP CaptureWindow() override;
    STDMETHODIMP ShowToolBar() override;
    STDMETHODIMP CaptureRegion() override;
    STDMETHODIMP ResizeApplication() override;
    STDMETHODIMP RebuildToolBar() override;
    STDMETHODIMP DisplayOptionsDlg() override;
    STDMETHODIMP About() override;

    // In-process callers may give an instance options of its own; nullptr
    // returns it to the process's options.
    void SetOptions(CaptureOptions* options) { ownOptions_ = options; }
    CaptureOptions* Options() const;
    // The window hidden for the grab and shown again afterwards; the
    // engine's own toolbar unless another is set.
    void SetToolbarWindow(HWND toolbar) { toolbarWindow_ = toolbar; }
    HWND ToolbarWindow() const { return toolbarWindow_; }
    static long BusyState();

    // The capture after a countdown of seconds (0: at once). The busy state
    // of that capture holds from the countdown's start, so that a second
    // request from anywhere meanwhile hears S_FALSE; onTick hears the
    // seconds left. kStatusCancelled when the user cancelled the countdown
    // or the thread was asked to quit.
    long CaptureAfter(DelayedCapture capture, int seconds, const CountdownWnd::TickHandler& onTick = {});
    // The rectangle of the last rectangle capture (ReadLastRectangle) as the
    // screen shows it now, post-processed as a rectangle capture.
    long CaptureLastRectangle();
    // The interactive program's own object; nullptr in a process that
    // serves automation only.
    static CCaptureEngine* ApplicationEngine();

    // Marks the interactive program's own requests (its hot keys, toolbar
    // and tray menu) while it lives: the next capture call that starts
    // inside it takes the mark, and its outcomes reach the outcome
    // listener. A call from an automation client (even one that arrives
    // while such a capture's overlay reads messages) finds no mark.
    class ProgramRequest {
    public:
        ProgramRequest();
        ~ProgramRequest();
        ProgramRequest(const ProgramRequest&) = delete;
        ProgramRequest& operator=(const ProgramRequest&) = delete;
    };
    using OutcomeListener = std::function<void(const CaptureOutcome&)>;
    // Hears the outcome of each capture the program asked for itself; an
    // empty listener hears nothing.
    static void SetOutcomeListener(OutcomeListener listener);
    // Opens the markup window on a capture the profile ("Annotate") or the
    // user (Ctrl on release) sends there. The application sets it once the
    // window exists; until then, or when it is empty, captures go on
    // unmarked. Captures with a user get it (automation calls included);
    // CaptureRect, which has none, never does. The capture's busy state
    // holds while it runs.
    static void SetMarkupHandler(MarkupHandler handler);

    // How many shutter sounds this instance played.
    int SoundsPlayed() const { return operations_.SoundsPlayed(); }

private:
    class BusyScope;
    // The clipboard needs an owner window of this process: the main window,
    // or in a process without one the instance's own message-only window.
    HWND ClipboardOwner() const;
    // ownRequest: the program's own request, whose outcomes the listener
    // hears.
    // withUser: a capture with a user, which may open the markup window.
    CaptureContext Context(CaptureOptions& options, bool ownRequest, bool withUser = true) const;
    // Takes the mark of a ProgramRequest, so that it counts for one call.
    static bool TakeProgramRequest();
    // The object whose toolbar this one shows: the application's, or itself.
    CCaptureEngine& ToolbarOwner();
    const CCaptureEngine& ToolbarOwner() const;
    // DisplayOptionsDlg and About: the application's dialog under the busy
    // state busyCode.
    long ShowApplicationDialog(long busyCode, int (CCorvaneApp::*show)());

    LONG references_ = 0;
    CaptureOptions* ownOptions_ = nullptr;
    CaptureOperations operations_;
    ToolBarControl toolbar_{*this};
    HWND toolbarWindow_ = nullptr;
    platform::Window messageWindow_;
};
