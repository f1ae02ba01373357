// The engine as a COM object in this process: its interfaces, late-bound
// calls through the type library, the busy codes of the methods that are
// not captures, and the options an instance starts with.
#include "platform/ComModule.h"
#include "tests/CaptureFixture.h"
#include "tests/TestApp.h"

#include <ShotDeskLib.h>

using namespace screen;

namespace {

class Automation : public CaptureFixture {};

// Calls a method by name through IDispatch, as a script would.
HRESULT CallByName(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args = {}) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    std::reverse(args.begin(), args.end());  // IDispatch takes them last first
    DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    VARIANT result;
    ::VariantInit(&result);
    EXCEPINFO exception{};
    UINT bad = 0;
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &exception, &bad);
    ::VariantClear(&result);
    return hr;
}

VARIANT Long(long value) {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

}  // namespace

TEST_F(Automation, AnswersItsInterfacesAndNamesItsMethods) {
    ICaptureEngine* engine = new CCaptureEngine;
    engine->AddRef();
    IUnknown* unknown = nullptr;
    IDispatch* dispatch = nullptr;
    IClassFactory* none = nullptr;
    EXPECT_EQ(engine->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(engine->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
    EXPECT_EQ(engine->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&none)), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);

    const wchar_t* const methods[] = {L"CaptureFullScreen", L"SetOptions",       L"GetOptions",
                                      L"Capture",           L"CaptureTopWindows", L"CaptureRect",
                                      L"CaptureWindow",     L"ShowToolBar",       L"CaptureRegion",
                                      L"ResizeApplication", L"RebuildToolBar",    L"DisplayOptionsDlg",
                                      L"About"};
    for (DISPID expected = 1; expected <= 13; ++expected) {
        LPOLESTR name[] = {const_cast<LPOLESTR>(methods[expected - 1])};
        DISPID id = 0;
        EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, name, 1, 0, &id), S_OK) << methods[expected - 1];
        EXPECT_EQ(id, expected) << methods[expected - 1];
    }
    ITypeInfo* info = nullptr;
    ASSERT_EQ(dispatch->GetTypeInfo(0, 0, &info), S_OK);
    BSTR help = nullptr;
    DISPID aboutId = 13;
    EXPECT_EQ(info->GetDocumentation(aboutId, nullptr, &help, nullptr, nullptr), S_OK);
    EXPECT_STREQ(help, L"method About");
    ::SysFreeString(help);
    info->Release();

    const long locks = platform::ComModule::LockCount();
    dispatch->Release();
    unknown->Release();
    EXPECT_EQ(engine->Release(), 0u);
    EXPECT_EQ(platform::ComModule::LockCount(), locks - 1) << "the object held the process";
}

TEST_F(Automation, LateBoundCallsWorkAsVtableCalls) {
    auto* object = new CCaptureEngine;
    object->AddRef();
    object->SetOptions(options.get());
    EXPECT_EQ(CallByName(object, L"CaptureFullScreen"), S_OK);
    ASSERT_EQ(Files().size(), 1u);
    EXPECT_EQ(BmpSize(OnlyFile()).cx, ::GetSystemMetrics(SM_CXSCREEN));
    // The bitmap-handle parameter has no variant form: CaptureRect is for
    // vtable callers, and a late-bound call is refused cleanly.
    EXPECT_EQ(CallByName(object, L"CaptureRect", {Long(110), Long(130), Long(40), Long(30), Long(0)}),
              DISP_E_BADVARTYPE);
    EXPECT_EQ(object->CaptureRect(110, 130, 40, 30, nullptr), S_OK);
    EXPECT_EQ(Files().size(), 2u);
    options->SetProperty(L"CaptureMode", platform::Variant(135L));
    EXPECT_EQ(CallByName(object, L"Capture"), S_OK);
    EXPECT_EQ(Files().size(), 2u);
    EXPECT_EQ(CallByName(object, L"NoSuchMethod"), DISP_E_UNKNOWNNAME);
    object->Release();
}

TEST_F(Automation, CaptureIgnoresModesWithoutAnOperation) {
    for (long mode : {134L, 135L, 136L, 137L, 0L}) {
        options->SetProperty(L"CaptureMode", platform::Variant(mode));
        EXPECT_EQ(engine.Capture(), S_OK) << mode;
    }
    EXPECT_TRUE(Files().empty());
}

TEST_F(Automation, OptionsAreNeverHandedOutAndOnlyThisProcessesOwnAreTaken) {
    IDispatch* out = reinterpret_cast<IDispatch*>(1);
    EXPECT_EQ(engine.GetOptions(&out), S_FALSE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(engine.GetOptions(nullptr), E_POINTER);

    CCaptureEngine bare;
    EXPECT_EQ(bare.Options(), nullptr);
    EXPECT_EQ(bare.SetOptions(0x12345678UL), E_INVALIDARG) << "an address from elsewhere is refused";
    EXPECT_EQ(bare.CaptureRegion(), CCaptureEngine::kStatusNoOptions);
    EXPECT_EQ(bare.CaptureWindow(), CCaptureEngine::kStatusNoOptions);
    EXPECT_EQ(bare.CaptureRect(0, 0, 10, 10, nullptr), CCaptureEngine::kStatusNoOptions);
    EXPECT_EQ(FindOverlay(), nullptr);

    CCaptureEngine::SetProcessOptions(options.get());
    CCaptureEngine made;
    EXPECT_EQ(made.Options(), options.get()) << "a new instance takes the process's options";
    EXPECT_EQ(bare.SetOptions(static_cast<ULONG>(reinterpret_cast<UINT_PTR>(options.get()))), S_OK);
    EXPECT_EQ(bare.Options(), options.get());
    // The process clears its options before it deletes them: an instance
    // that a client still holds finds none instead of freed memory.
    CCaptureEngine::SetProcessOptions(nullptr);
    EXPECT_EQ(made.Options(), nullptr);
    EXPECT_EQ(made.CaptureFullScreen(), CCaptureEngine::kStatusNoOptions);
    EXPECT_EQ(bare.Capture(), CCaptureEngine::kStatusNoOptions);
    EXPECT_TRUE(Files().empty());
}

TEST_F(Automation, DialogsTakeTheBusyStateFromEveryInstance) {
    CCaptureEngine other;
    HRESULT aboutInside = E_FAIL, optionsInside = E_FAIL, captureInside = E_FAIL, toolbarInside = E_FAIL;
    TestApp::Get().optionsDialog = [&] {
        EXPECT_EQ(CCaptureEngine::BusyState(), CCaptureEngine::kBusyOptionsDialog);
        aboutInside = other.About();
        optionsInside = engine.DisplayOptionsDlg();
        captureInside = other.CaptureRegion();
        toolbarInside = other.ShowToolBar();
        return IDOK;
    };
    EXPECT_EQ(engine.DisplayOptionsDlg(), S_OK);
    TestApp::Get().optionsDialog = nullptr;
    EXPECT_EQ(aboutInside, S_FALSE);
    EXPECT_EQ(optionsInside, S_FALSE);
    EXPECT_EQ(captureInside, S_FALSE) << "no overlay over an open dialog";
    EXPECT_EQ(toolbarInside, S_FALSE);
    EXPECT_EQ(CCaptureEngine::BusyState(), 0);

    bool aboutShown = false;
    TestApp::Get().aboutDialog = [&] {
        aboutShown = CCaptureEngine::BusyState() == CCaptureEngine::kBusyAbout;
        return IDOK;
    };
    EXPECT_EQ(other.About(), S_OK);
    TestApp::Get().aboutDialog = nullptr;
    EXPECT_TRUE(aboutShown);
}

TEST_F(Automation, ShowToolBarShowsTheToolbarTopmostButNotDuringACapture) {
    HWND toolbar = engine.ToolbarWindow();
    ASSERT_NE(toolbar, nullptr);
    EXPECT_FALSE(::IsWindowVisible(toolbar));
    wchar_t title[64] = {};
    ::GetWindowTextW(toolbar, title, 64);
    EXPECT_STREQ(title, L"Snapwell");

    static CCaptureEngine* current = nullptr;
    static HRESULT duringCapture = E_FAIL;
    current = &engine;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 400, [](HWND, UINT, UINT_PTR id, DWORD) {
        ::KillTimer(nullptr, id);
        duringCapture = current->ShowToolBar();
    });
    std::thread cancel([] {
        WaitForOverlay();
        ::Sleep(400);
        ::PostMessageW(FindOverlay(), WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(engine.CaptureWindow(), S_OK);
    cancel.join();
    ::KillTimer(nullptr, timer);
    EXPECT_EQ(duringCapture, S_FALSE);
    EXPECT_FALSE(::IsWindowVisible(toolbar)) << "still hidden after the capture";

    EXPECT_EQ(engine.ShowToolBar(), S_OK);
    EXPECT_TRUE(::IsWindowVisible(toolbar));
    EXPECT_TRUE(::GetWindowLongW(toolbar, GWL_EXSTYLE) & WS_EX_TOPMOST);
}
