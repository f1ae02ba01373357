#include "uikit/TipsViewer.h"

#include "platform/FileSystem.h"

#include <exdisp.h>
#include <exdispid.h>
#include <mshtml.h>
#include <ole2.h>
#include <ocidl.h>
#include <oleauto.h>

#include <algorithm>
#include <random>

std::vector<std::wstring> ListTipPages(const std::wstring& helpFolder, unsigned seed) {
    std::vector<std::wstring> pages;
    const std::wstring folder = platform::WithTrailingBackslash(helpFolder) + L"tips\\";
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW((folder + L"*.html").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return pages;
    do {
        constexpr DWORD kSkipped = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        if (found.dwFileAttributes & kSkipped) continue;
        pages.push_back(folder + found.cFileName);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    // The platform lists in no promised order; sorted first, the shuffle
    // depends on the seed alone.
    std::sort(pages.begin(), pages.end());
    std::shuffle(pages.begin(), pages.end(), std::mt19937(seed));
    return pages;
}

// The browser's container: its client site, in-place site and frame, and
// one dispatch interface that hears both the browser's events and the clicks
// in its pages.
class TipsViewer::Site final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame, public IDispatch {
public:
    explicit Site(TipsViewer& owner) : owner_(&owner) {}
    void Disconnect() { owner_ = nullptr; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
            *out = static_cast<IOleClientSite*>(this);
        } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
            *out = static_cast<IOleInPlaceSite*>(this);
        } else if (iid == IID_IOleInPlaceFrame || iid == IID_IOleInPlaceUIWindow) {
            *out = static_cast<IOleInPlaceFrame*>(this);
        } else if (iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2) {
            *out = static_cast<IDispatch*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP GetContainer(IOleContainer** container) override {
        *container = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow, for the in-place site and the frame alike.
    STDMETHODIMP GetWindow(HWND* window) override {
        *window = owner_ ? owner_->hwnd() : nullptr;
        return *window ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        *document = nullptr;
        RECT client{};
        if (owner_) ::GetClientRect(owner_->hwnd(), &client);
        *position = client;
        *clip = client;
        info->fMDIApp = FALSE;
        info->hwndFrame = owner_ ? ::GetAncestor(owner_->hwnd(), GA_ROOT) : nullptr;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow and IOleInPlaceFrame: the dialog has no tool
    // space or menus to share.
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IDispatch: the browser's events by their numbers, and a page's click
    // as the default member (0).
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                        UINT*) override {
        if (owner_ == nullptr) return S_OK;
        switch (member) {
            case DISPID_NAVIGATEERROR:
                ::PostMessageW(owner_->hwnd(), kFailed, 0, 0);
                break;
            case DISPID_DOCUMENTCOMPLETE:
                ListenToClicks();
                break;
            case DISPID_VALUE:
                if (ClickedNextTips()) {
                    ::PostMessageW(owner_->hwnd(), kNextPage, 0, 0);
                    if (result != nullptr) {
                        ::VariantInit(result);
                        result->vt = VT_BOOL;
                        result->boolVal = VARIANT_FALSE;  // the link itself goes nowhere
                    }
                }
                break;
            default:
                break;
        }
        return S_OK;
    }

private:
    IHTMLDocument2* Document() {
        IDispatch* dispatch = nullptr;
        if (owner_ == nullptr || owner_->browser_ == nullptr || FAILED(owner_->browser_->get_Document(&dispatch)) ||
            dispatch == nullptr)
            return nullptr;
        IHTMLDocument2* document = nullptr;
        dispatch->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&document));
        dispatch->Release();
        return document;
    }

    void ListenToClicks() {
        if (IHTMLDocument2* document = Document()) {
            VARIANT handler;
            ::VariantInit(&handler);
            handler.vt = VT_DISPATCH;
            handler.pdispVal = static_cast<IDispatch*>(this);
            document->put_onclick(handler);
            document->Release();
        }
    }

    // Whether the click was on the "NextTips" element or inside it.
    bool ClickedNextTips() {
        IHTMLDocument2* document = Document();
        if (document == nullptr) return false;
        bool found = false;
        IHTMLWindow2* window = nullptr;
        IHTMLEventObj* event = nullptr;
        IHTMLElement* element = nullptr;
        if (SUCCEEDED(document->get_parentWindow(&window)) && window != nullptr &&
            SUCCEEDED(window->get_event(&event)) && event != nullptr) {
            event->get_srcElement(&element);
        }
        while (element != nullptr && !found) {
            BSTR id = nullptr;
            if (SUCCEEDED(element->get_id(&id)) && id != nullptr) {
                found = std::wstring(id, ::SysStringLen(id)) == L"NextTips";
                ::SysFreeString(id);
            }
            IHTMLElement* parent = nullptr;
            if (!found) element->get_parentElement(&parent);
            element->Release();
            element = found ? nullptr : parent;
        }
        if (element) element->Release();
        if (found && event != nullptr) {
            VARIANT no;
            ::VariantInit(&no);
            no.vt = VT_BOOL;
            no.boolVal = VARIANT_FALSE;
            event->put_returnValue(no);
        }
        if (event) event->Release();
        if (window) window->Release();
        document->Release();
        return found;
    }

    TipsViewer* owner_;
    ULONG references_ = 1;
};

TipsViewer::TipsViewer() = default;

TipsViewer::~TipsViewer() { Release(); }

bool TipsViewer::Show(HWND window, std::vector<std::wstring> pages) {
    pages_ = std::move(pages);
    current_ = 0;
    if (window == nullptr || !Attach(window)) return false;
    ::SetWindowTextW(window, L"Corvane");
    ::SetWindowLongPtrW(window, GWL_STYLE, ::GetWindowLongPtrW(window, GWL_STYLE) | WS_CLIPCHILDREN);
    if (pages_.empty()) {
        StepAside();
        return false;
    }
    // In-place activation needs OLE on this thread.
    oleInitialised_ = SUCCEEDED(::OleInitialize(nullptr));
    site_ = new Site(*this);
    bool hosted = SUCCEEDED(::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                               reinterpret_cast<void**>(&object_))) &&
                  SUCCEEDED(object_->SetClientSite(static_cast<IOleClientSite*>(site_)));
    if (hosted) {
        RECT client{};
        ::GetClientRect(window, &client);
        hosted = SUCCEEDED(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(site_), 0,
                                           window, &client)) &&
                 SUCCEEDED(object_->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser_)));
    }
    if (hosted) {
        // Script errors and the like are never shown as boxes over the dialog.
        browser_->put_Silent(VARIANT_TRUE);
        IConnectionPointContainer* container = nullptr;
        if (SUCCEEDED(browser_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)))) {
            IConnectionPoint* point = nullptr;
            if (SUCCEEDED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, &point))) {
                point->Advise(static_cast<IDispatch*>(site_), &adviseCookie_);
                point->Release();
            }
            container->Release();
        }
        hosted = Navigate(pages_.front());
    }
    if (!hosted) StepAside();
    return hosted;
}

bool TipsViewer::Navigate(const std::wstring& page) {
    if (browser_ == nullptr) return false;
    BSTR address = ::SysAllocString(page.c_str());
    VARIANT empty;
    ::VariantInit(&empty);
    const HRESULT result = browser_->Navigate(address, &empty, &empty, &empty, &empty);
    ::SysFreeString(address);
    return SUCCEEDED(result);
}

void TipsViewer::ShowNextPage() {
    if (browser_ == nullptr || pages_.empty()) return;
    current_ = (current_ + 1) % pages_.size();
    if (!Navigate(pages_[current_])) StepAside();
}

void TipsViewer::StepAside() {
    Release();
    if (hwnd() != nullptr) {
        ::EnableWindow(hwnd(), FALSE);
        ::ShowWindow(hwnd(), SW_HIDE);
    }
}

void TipsViewer::Release() {
    if (browser_ != nullptr && adviseCookie_ != 0) {
        IConnectionPointContainer* container = nullptr;
        if (SUCCEEDED(browser_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)))) {
            IConnectionPoint* point = nullptr;
            if (SUCCEEDED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, &point))) {
                point->Unadvise(adviseCookie_);
                point->Release();
            }
            container->Release();
        }
    }
    adviseCookie_ = 0;
    if (browser_ != nullptr) {
        browser_->Stop();
        browser_->Release();
        browser_ = nullptr;
    }
    if (object_ != nullptr) {
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
        object_->Release();
        object_ = nullptr;
    }
    if (site_ != nullptr) {
        site_->Disconnect();
        site_->Release();
        site_ = nullptr;
    }
    if (oleInitialised_) {
        ::OleUninitialize();
        oleInitialised_ = false;
    }
}

LRESULT TipsViewer::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kFailed:
            StepAside();
            return 0;
        case kNextPage:
            ShowNextPage();
            return 0;
        case WM_SIZE:
            if (object_ != nullptr) {
                IOleInPlaceObject* inPlace = nullptr;
                if (SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)))) {
                    RECT client{};
                    ::GetClientRect(hwnd(), &client);
                    inPlace->SetObjectRects(&client, &client);
                    inPlace->Release();
                }
            }
            break;
        case WM_DESTROY:
            Release();
            break;
        default:
            break;
    }
    return Default(message, wParam, lParam);
}
