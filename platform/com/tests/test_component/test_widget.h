// A small component used only by the runtime's tests: a dual interface with a second
// interface beside it, and an event interface fired to advised sinks, directly or from a
// worker thread of the object.
#pragma once

#include "platform/com/com.h"

// {6D2F6A10-3C1B-4B8E-9E51-0A7C1D2E3F40}
constexpr CLSID CLSID_TestWidget = {
    0x6D2F6A10, 0x3C1B, 0x4B8E, {0x9E, 0x51, 0x0A, 0x7C, 0x1D, 0x2E, 0x3F, 0x40}};

struct ITestWidget : IDispatch {
    // {6D2F6A11-3C1B-4B8E-9E51-0A7C1D2E3F40}
    static constexpr IID kIID = {
        0x6D2F6A11, 0x3C1B, 0x4B8E, {0x9E, 0x51, 0x0A, 0x7C, 0x1D, 0x2E, 0x3F, 0x40}};
    using Base = IDispatch;
    virtual HRESULT Add(LONG a, LONG b, LONG* sum) = 0;  // DISPID 1
    virtual HRESULT Echo(BSTR text, BSTR* copy) = 0;     // DISPID 2
    virtual HRESULT get_Name(BSTR* name) = 0;            // DISPID 3
    virtual HRESULT Split(VARIANT bytes, LONG* first, VARIANT* rest, VARIANT_BOOL* ok) = 0;  // 4
    virtual HRESULT FireEvents(LONG count) = 0;  // DISPID 5
    // Fires count events from a new worker thread and returns at once.
    virtual HRESULT FireFromWorker(LONG count) = 0;  // DISPID 6
    // Waits up to timeoutMs for the worker to finish firing; true when it has.
    virtual HRESULT WaitWorker(LONG timeoutMs, VARIANT_BOOL* finished) = 0;  // DISPID 7
    virtual HRESULT Fail() = 0;                                              // DISPID 8

protected:
    ~ITestWidget() = default;
};

struct ITestCounter : IUnknown {
    // {6D2F6A12-3C1B-4B8E-9E51-0A7C1D2E3F40}
    static constexpr IID kIID = {
        0x6D2F6A12, 0x3C1B, 0x4B8E, {0x9E, 0x51, 0x0A, 0x7C, 0x1D, 0x2E, 0x3F, 0x40}};
    using Base = IUnknown;
    virtual HRESULT Increment(LONG* value) = 0;

protected:
    ~ITestCounter() = default;
};

// Events: OnTick(LONG n, BSTR text, VARIANT bytes) = DISPID 1, OnDone() = DISPID 2.
// {6D2F6A13-3C1B-4B8E-9E51-0A7C1D2E3F40}
constexpr IID DIID_ITestWidgetEvents = {
    0x6D2F6A13, 0x3C1B, 0x4B8E, {0x9E, 0x51, 0x0A, 0x7C, 0x1D, 0x2E, 0x3F, 0x40}};
constexpr DISPID TEST_DISPID_ON_TICK = 1;
constexpr DISPID TEST_DISPID_ON_DONE = 2;

// The dispatch table of ITestWidget, shared by the object and by tests that call by DISPID.
inline const DispatchTable<ITestWidget>& TestWidgetDispatch() {
    static const DispatchTable<ITestWidget> table{
        DispMethod(1, "Add", &ITestWidget::Add),
        DispMethod(2, "Echo", &ITestWidget::Echo),
        DispPropGet(3, "Name", &ITestWidget::get_Name),
        DispMethod(4, "Split", &ITestWidget::Split),
        DispMethod(5, "FireEvents", &ITestWidget::FireEvents),
        DispMethod(6, "FireFromWorker", &ITestWidget::FireFromWorker),
        DispMethod(7, "WaitWorker", &ITestWidget::WaitWorker),
        DispMethod(8, "Fail", &ITestWidget::Fail),
    };
    return table;
}

// Exported by the library: the number of its objects now alive.
extern "C" LONG TestComponentLiveObjects();
using PFN_TestComponentLiveObjects = LONG (*)();
