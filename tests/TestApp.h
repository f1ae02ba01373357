#pragma once
// The application identity the tests run under: the real product names, so
// that the per-user folder is the one Snapwell itself uses in this prefix.
#include "app/ShotDeskConstants.h"
#include "uikit/CorvaneApp.h"

class TestApp : public CCorvaneApp {
public:
    std::wstring GetProductName() const override { return kProductName; }
    std::wstring GetCompanyName() const override { return kCompanyName; }
    std::wstring GetOptionsFileName() const override { return kOptionsFileName; }
    std::wstring GetAppFileName() const override { return kAppFileName; }
};
