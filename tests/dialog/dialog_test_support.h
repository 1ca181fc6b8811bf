// Helpers for the dialog tests: a private current directory, and a HID
// driver without devices that marks each discovery in the desktop's journal.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>

#include "platform/hid.h"
#include "platform/virtual_window_system.h"

namespace testsupport {

// Makes a fresh directory the current one for the object's lifetime, so the
// configuration file a test writes (or leaves out) is its own.
class TempWorkDir {
  public:
    TempWorkDir() : m_previous(std::filesystem::current_path()) {
        static std::atomic<int> counter{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        m_dir = std::filesystem::temp_directory_path() /
                ("kx9_dialog_" + std::to_string(stamp) + "_" + std::to_string(counter++));
        std::filesystem::create_directories(m_dir);
        std::filesystem::current_path(m_dir);
    }
    ~TempWorkDir() {
        std::error_code ignored;
        std::filesystem::current_path(m_previous, ignored);
        std::filesystem::remove_all(m_dir, ignored);
    }
    TempWorkDir(const TempWorkDir&) = delete;
    TempWorkDir& operator=(const TempWorkDir&) = delete;

  private:
    std::filesystem::path m_previous;
    std::filesystem::path m_dir;
};

// No controllers attached; each input system created (one per discovery)
// adds "discovery" to the journal.
class CountingHid final : public plat::HidDriver {
  public:
    explicit CountingHid(plat::vws::Desktop& desk) : m_desk(desk) {}

    bool CreateInputSystem(plat::InputSystem** system) override {
        m_desk.Note("discovery");
        *system = &m_system;
        return true;
    }
    plat::Handle Open(const char*) override { return plat::InvalidHandle(); }
    bool Close(plat::Handle) override { return false; }
    bool GetAttributes(plat::Handle, plat::HidAttributes*) override { return false; }
    bool GetPreparsedData(plat::Handle, plat::PreparsedData*) override { return false; }
    bool GetCaps(plat::PreparsedData, plat::HidCaps*) override { return false; }
    void FreePreparsedData(plat::PreparsedData) override {}
    plat::IoStart Read(plat::Handle, void*, std::uint32_t, plat::IoRecord*) override {
        return plat::IoStart::kFailed;
    }
    plat::IoStart Write(plat::Handle, const void*, std::uint32_t, plat::IoRecord*) override {
        return plat::IoStart::kFailed;
    }
    bool GetResult(plat::Handle, plat::IoRecord*, std::uint32_t*) override { return false; }
    void Cancel(plat::Handle, plat::IoRecord*) override {}

  private:
    class Empty final : public plat::InputSystem {
      public:
        void Release() override {}
        void EnumDevices(plat::EnumDevicesCallback, void*) override {}
        bool CreateDevice(const plat::DeviceInstance&, plat::InputDevice**) override {
            return false;
        }
    };
    plat::vws::Desktop& m_desk;
    Empty m_system;
};

}  // namespace testsupport
