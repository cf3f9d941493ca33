// Shared by the runtime tests: a private registry file per test and a recording event sink.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/byte_array_variant.h"
#include "platform/com/com.h"
#include "platform/com/tests/test_component/test_widget.h"

// Points the registry store at a fresh file for the test's lifetime.
class ScopedRegistry {
public:
    ScopedRegistry() {
        dir_ = std::filesystem::temp_directory_path() /
               ("ovreg-" + std::to_string(getpid()) + "-" + std::to_string(counter_++));
        std::filesystem::create_directories(dir_);
        setenv("ORVANE_REGISTRY", (dir_ / "registry").c_str(), 1);
    }
    ~ScopedRegistry() {
        unsetenv("ORVANE_REGISTRY");
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

private:
    static inline int counter_ = 0;
    std::filesystem::path dir_;
};

inline std::string TestComponentPath() {
    return GetProgramDirectory() + "libovtestcomponent.so";
}

// Records every event it receives, with the thread it ran on.
class RecordingSink final : public DispatchObject<RecordingSink, IDispatch> {
public:
    struct Tick {
        LONG n;
        std::string text;
        std::vector<uint8_t> bytes;
        std::thread::id thread;
    };

    static const DispatchTable<RecordingSink>& DispatchMap() {
        static const DispatchTable<RecordingSink> table{
            DispEvent(TEST_DISPID_ON_TICK, "OnTick", &RecordingSink::OnTick),
            DispEvent(TEST_DISPID_ON_DONE, "OnDone", &RecordingSink::OnDone),
        };
        return table;
    }

    void OnTick(LONG n, BSTR text, VARIANT bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        ticks_.push_back(Tick{n, BstrToUtf8(text), CByteArrayVariant(bytes).Bytes(),
                              std::this_thread::get_id()});
        if (orderLog_)
            orderLog_->push_back(label_);
    }
    void OnDone() {
        std::lock_guard<std::mutex> lock(mutex_);
        ++done_;
    }

    std::vector<Tick> Ticks() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return ticks_;
    }
    int Done() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return done_;
    }
    // Sinks sharing one log record the order in which they were called; only for sinks
    // called on one thread.
    void ShareOrderLog(std::vector<std::string>* log, std::string label) {
        label_ = std::move(label);
        orderLog_ = log;
    }

private:
    mutable std::mutex mutex_;  // guards ticks_ and done_
    std::vector<Tick> ticks_;
    int done_ = 0;
    std::string label_;
    std::vector<std::string>* orderLog_ = nullptr;
};
