// The registry store against Wine's registry. Each test works under a maker
// key of its own below HKEY_CURRENT_USER\Software and deletes it afterwards,
// so the program's own Kardo\Orlith key is never touched.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "calibration/settings_codec.h"
#include "platform/win32/registry_settings_store.h"

namespace veltrane::win32 {
namespace {

class RegistrySettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        maker = std::string("VeltraneTest-") + std::to_string(GetCurrentProcessId()) + "-" + info->name();
        deleteMakerKey();
    }
    void TearDown() override { deleteMakerKey(); }

    void deleteMakerKey() const {
        HKEY software = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_ALL_ACCESS, &software) == ERROR_SUCCESS) {
            RegDeleteTreeA(software, maker.c_str());
            RegCloseKey(software);
        }
    }

    std::string applicationPath() const { return "Software\\" + maker + "\\Orlith"; }

    bool applicationKeyExists() const {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, applicationPath().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        return true;
    }

    HKEY createApplicationKey() const {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, applicationPath().c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        return key;
    }

    void putValue(const char* name, DWORD type, const std::vector<BYTE>& data) const {
        const HKEY key = createApplicationKey();
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, data.data(), static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    void putDword(const char* name, std::int32_t value) const {
        std::vector<BYTE> data(4);
        std::memcpy(data.data(), &value, 4);
        putValue(name, REG_DWORD, data);
    }

    struct RawValue {
        LONG result;
        DWORD type;
        DWORD size;
        std::int32_t value;
    };
    RawValue rawValue(const char* name) const {
        RawValue raw{ERROR_FILE_NOT_FOUND, REG_NONE, 0, 0};
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, applicationPath().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return raw;
        }
        BYTE data[16] = {};
        raw.size = sizeof data;
        raw.result = RegQueryValueExA(key, name, nullptr, &raw.type, data, &raw.size);
        std::memcpy(&raw.value, data, 4);
        RegCloseKey(key);
        return raw;
    }

    std::string maker;
};

TEST_F(RegistrySettingsStoreTest, LoadingCreatesTheMissingKeyAndStartsNeutral) {
    ASSERT_FALSE(applicationKeyExists());
    RegistrySettingsStore store(maker);
    ColorCalibration calibration;
    calibration.red.gamma = 3.0;  // loading replaces every parameter, this one included
    loadCalibration(store, calibration);

    EXPECT_TRUE(applicationKeyExists());
    for (const StoredParameter& p : STORED_PARAMETERS) {
        EXPECT_EQ((calibration.*p.channel).*p.field, 1.0) << p.name;
    }
}

TEST_F(RegistrySettingsStoreTest, SavingWritesNineSignedDwordPercentagesThatLoadBack) {
    ColorCalibration saved;
    saved.red.gamma = 2.5;
    saved.green.brightness = -0.4;
    saved.blue.contrast = 0.9;
    for (int i = 0; i < 10; ++i) saved.green.contrast -= 0.01;  // 0.8999999999999999
    for (int i = 0; i < 10; ++i) saved.blue.gamma += 0.01;      // 1.1000000000000001
    {
        RegistrySettingsStore store(maker);
        ASSERT_TRUE(saveCalibration(store, saved));
    }

    struct Expected {
        const char* name;
        std::int32_t percent;
    };
    const Expected expected[] = {{"MonRG", 250}, {"MonGG", 100}, {"MonBG", 110},
                                 {"MonRB", 100}, {"MonGB", -40}, {"MonBB", 100},
                                 {"MonRC", 100}, {"MonGC", 90},  {"MonBC", 90}};
    for (const Expected& e : expected) {
        const RawValue raw = rawValue(e.name);
        EXPECT_EQ(raw.result, ERROR_SUCCESS) << e.name;
        EXPECT_EQ(raw.type, static_cast<DWORD>(REG_DWORD)) << e.name;
        EXPECT_EQ(raw.size, 4u) << e.name;
        EXPECT_EQ(raw.value, e.percent) << e.name;
    }

    RegistrySettingsStore store(maker);
    ColorCalibration loaded;
    loadCalibration(store, loaded);
    EXPECT_EQ(loaded.red.gamma, 2.5);
    EXPECT_EQ(loaded.green.brightness, -0.4);
    EXPECT_EQ(loaded.green.contrast, 0.9);
    EXPECT_EQ(loaded.blue.gamma, 1.1);
    EXPECT_EQ(loaded.red.brightness, 1.0);
}

TEST_F(RegistrySettingsStoreTest, ValuesPutBeforeTheRunAreUsedAndMissingOnesMeanOne) {
    putDword("MonRG", 250);
    putDword("MonRB", -40);
    putDword("MonBC", 0);
    RegistrySettingsStore store(maker);
    ColorCalibration calibration;
    loadCalibration(store, calibration);
    EXPECT_EQ(calibration.red.gamma, 2.5);
    EXPECT_EQ(calibration.red.brightness, -0.4);
    EXPECT_EQ(calibration.blue.contrast, 0.0);
    EXPECT_EQ(calibration.green.gamma, 1.0);
    EXPECT_EQ(calibration.red.contrast, 1.0);
}

TEST_F(RegistrySettingsStoreTest, OnlyAFourByteDwordCounts) {
    struct Case {
        const char* what;
        DWORD type;
        std::vector<BYTE> data;
    };
    const Case cases[] = {
        {"a string", REG_SZ, {'2', '5', '0', 0}},
        {"binary of four bytes", REG_BINARY, {250, 0, 0, 0}},
        {"a quad word", REG_QWORD, {250, 0, 0, 0, 0, 0, 0, 0}},
        {"a big-endian dword", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 250}},
        {"a dword of two bytes", REG_DWORD, {250, 0}},
        {"a dword of eight bytes", REG_DWORD, {250, 0, 0, 0, 0, 0, 0, 0}},
        {"an empty dword", REG_DWORD, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        deleteMakerKey();
        putValue("MonRG", c.type, c.data);
        putDword("MonGG", 250);  // a good value beside it is still read

        RegistrySettingsStore store(maker);
        ASSERT_TRUE(store.open());
        EXPECT_FALSE(store.read("MonRG").has_value());
        EXPECT_EQ(store.read("MonGG"), 250);
        store.close();

        ColorCalibration calibration;
        calibration.red.gamma = 7.0;
        loadCalibration(store, calibration);
        EXPECT_EQ(calibration.red.gamma, 1.0);
        EXPECT_EQ(calibration.green.gamma, 2.5);
    }
}

TEST_F(RegistrySettingsStoreTest, AKeyThatCannotBeCreatedFailsTheSaveAndWritesNothing) {
    // A non-volatile key cannot be created below a volatile one: the maker key
    // exists but the application key below it can be neither opened nor made.
    HKEY volatileMaker = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, ("Software\\" + maker).c_str(), 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &volatileMaker, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(volatileMaker);

    RegistrySettingsStore store(maker);
    ColorCalibration calibration;
    calibration.red.gamma = 2.0;
    loadCalibration(store, calibration);
    EXPECT_EQ(calibration.red.gamma, 2.0) << "an unopenable key leaves the parameters alone";
    EXPECT_FALSE(saveCalibration(store, calibration));
    EXPECT_FALSE(applicationKeyExists());
    EXPECT_EQ(rawValue("MonRG").result, ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace veltrane::win32
