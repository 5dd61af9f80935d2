// The adaptor's exports, its camera catalogue and the device properties of a camera.
#include "adaptor_test_support.h"

#include <cmath>
#include <ostream>

namespace adaptortest {
namespace {

using korimaq::DeviceEntry;
using korimaq::PropertyEntry;

// "id name" of every offered format, the default marked with '*'.
std::vector<std::string> formatsOf(const DeviceEntry& device) {
    std::vector<std::string> formats;
    for (const auto& format : device.formats)
        formats.push_back(std::to_string(format.id) + " " + format.name + (format.isDefault ? "*" : ""));
    return formats;
}

std::vector<std::string> propertyNames(const korimaq::DeviceAttributes& attributes) {
    std::vector<std::string> names;
    for (const auto& property : attributes.properties) names.push_back(property.name);
    return names;
}

bool anyCameraOpen() {
    for (std::int32_t camera = 1;; ++camera) {
        try {
            if (korcamsim::cameraState(camera).handles != 0) return true;
        } catch (const std::out_of_range&) {
            return false;
        }
    }
}

korcamsim::CameraSpec sensor(std::uint32_t width, std::uint32_t height, std::uint32_t id = 0x91) {
    korcamsim::CameraSpec model;
    model.id = id;
    model.maxWidth = width;
    model.maxHeight = height;
    return model;
}

class CatalogueTest : public AdaptorTest {};

TEST_F(CatalogueTest, ExportsBothInitializeNamesAsOneFunction) {
    const korimaq::AdaptorExports& exports = library->exports();
    EXPECT_EQ(reinterpret_cast<void*>(exports.initializeAdaptor), reinterpret_cast<void*>(exports.uninitializeAdaptor));
    library->onEngineThread([&] {
        exports.initializeAdaptor();
        exports.uninitializeAdaptor();
    });
}

TEST_F(CatalogueTest, DefaultRigListsModelsFormatsAndDefaults) {
    const std::vector<DeviceEntry> devices = library->availableHardware();
    ASSERT_EQ(devices.size(), 3u);

    EXPECT_EQ(devices[0].id, 1);
    EXPECT_EQ(devices[0].name, "KX-A01");
    EXPECT_EQ(formatsOf(devices[0]), (std::vector<std::string>{"0 320x240", "1 640x480*", "2 1280x1024"}));

    EXPECT_EQ(devices[1].id, 2);
    EXPECT_EQ(devices[1].name, "KX-A05");
    EXPECT_EQ(formatsOf(devices[1]), (std::vector<std::string>{"0 320x240", "1 640x480*", "2 1280x1024", "3 1600x1200",
                                                               "4 1616x1216", "5 1920x1080", "6 2048x1536"}));

    EXPECT_EQ(devices[2].id, 3);
    EXPECT_EQ(devices[2].name, "Unknown Camera");
    EXPECT_EQ(formatsOf(devices[2]), (std::vector<std::string>{"0 320x240", "1 640x480*"}));

    EXPECT_FALSE(anyCameraOpen());
    EXPECT_TRUE(warnings().empty());
    EXPECT_TRUE(errors().empty());
}

TEST_F(CatalogueTest, TrialFormatsReallyChangeTheCamera) {
    korcamsim::setRig({sensor(2048, 1536)});
    FrameFormat before{};
    {
        const korcamsim::CameraState state = korcamsim::cameraState(1);
        before = state.format;
    }
    ASSERT_EQ(library->availableHardware().size(), 1u);
    const korcamsim::CameraState after = korcamsim::cameraState(1);
    EXPECT_EQ(after.format.width, 2048u);  // the last format it accepted
    EXPECT_EQ(after.format.height, 1536u);
    EXPECT_EQ(after.format.xOffset, before.xOffset);
    EXPECT_EQ(after.format.pixelFormat, before.pixelFormat);
    EXPECT_EQ(after.format.xBinSub, 1u);
    // Every trial passes the frame rate as read.
    for (const auto& call : korcamsim::calls()) {
        if (call.op == "KorcamSetFormat") {
            EXPECT_EQ(call.args, std::vector<double>{15.0});
        }
    }
    EXPECT_EQ(callCount("KorcamSetFormat"), 7u);
}

struct SensorCase {
    const char* label;
    std::uint32_t width;
    std::uint32_t height;
    std::vector<std::string> formats;
};

std::ostream& operator<<(std::ostream& out, const SensorCase& c) { return out << c.label; }

class SensorSizeTest : public AdaptorTest, public ::testing::WithParamInterface<SensorCase> {};

TEST_P(SensorSizeTest, OffersTheFormatsThatFit) {
    korcamsim::setRig({sensor(GetParam().width, GetParam().height)});
    const std::vector<DeviceEntry> devices = library->availableHardware();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(formatsOf(devices[0]), GetParam().formats);
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, SensorSizeTest,
    ::testing::Values(
        SensorCase{"EqualToAFormat", 1280, 1024, {"0 320x240", "1 640x480*", "2 1280x1024"}},
        SensorCase{"JustBelowAFormat", 1599, 1200, {"0 320x240", "1 640x480*", "2 1280x1024"}},
        SensorCase{"WidthFitsHeightNot", 2048, 1024, {"0 320x240", "1 640x480*", "2 1280x1024"}},
        SensorCase{"NotTheWiderOfTwoClose", 1600, 1200, {"0 320x240", "1 640x480*", "2 1280x1024", "3 1600x1200"}},
        SensorCase{"SmallerThanTheDefault", 320, 240, {"0 320x240"}}, SensorCase{"SmallerThanAny", 319, 240, {}},
        SensorCase{"LargestFormat",
                   5120,
                   4096,
                   {"0 320x240", "1 640x480*", "2 1280x1024", "3 1600x1200", "4 1616x1216", "5 1920x1080",
                    "6 2048x1536", "7 3000x2208", "8 3840x3072", "9 4008x2672", "10 5120x4096"}}),
    [](const ::testing::TestParamInfo<SensorCase>& info) { return std::string(info.param.label); });

TEST_F(CatalogueTest, NoCameraOrAFailedCountGivesAnEmptyCatalogue) {
    korcamsim::setCameraCount(-1);
    EXPECT_TRUE(library->availableHardware().empty());
    korcamsim::setCameraCount(0);
    EXPECT_TRUE(library->availableHardware().empty());
    EXPECT_EQ(callCount("KorcamCameraOpen"), 0u);
    korcamsim::clearCameraCount();
    korcamsim::setCameraCount(2);
    EXPECT_EQ(library->availableHardware().size(), 2u);
}

TEST_F(CatalogueTest, EveryModelIdIsNamedAndOthersAreUnknown) {
    const std::vector<std::pair<std::uint32_t, std::string>> cases = {
        {0x91, "KX-A01"},  {0x18C, "KX-A05"},          {0x1CD, "KX-A19"},      {0xA4, "KX-A32"},
        {0x1A5, "KX-A34"}, {0x7777, "Unknown Camera"}, {0x0, "Unknown Camera"}};
    std::vector<korcamsim::CameraSpec> rig;
    for (const auto& entry : cases) rig.push_back(sensor(640, 480, entry.first));
    korcamsim::setRig(rig);
    const std::vector<DeviceEntry> devices = library->availableHardware();
    ASSERT_EQ(devices.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(devices[i].name, cases[i].second) << "id 0x" << std::hex << cases[i].first;
        EXPECT_EQ(formatsOf(devices[i]), (std::vector<std::string>{"0 320x240", "1 640x480*"}));
    }
}

struct FaultCase {
    const char* label;
    const char* op;
    std::uint32_t code;
    std::uint64_t count;
    std::uint64_t skip;
    // Catalogue of a two-camera rig (1280x1024 each) under the fault, "name: formats".
    std::vector<std::string> expected;
};

std::ostream& operator<<(std::ostream& out, const FaultCase& c) { return out << c.label; }

class CatalogueFaultTest : public AdaptorTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(CatalogueFaultTest, LeavesOutFailingCamerasAndClosesEveryCamera) {
    korcamsim::setRig({sensor(1280, 1024, 0x91), sensor(1280, 1024, 0x95)});
    korcamsim::failOperation(GetParam().op, GetParam().code, GetParam().count, GetParam().skip);
    std::vector<std::string> catalogue;
    for (const DeviceEntry& device : library->availableHardware()) {
        std::string line = std::to_string(device.id) + " " + device.name + ":";
        for (const std::string& format : formatsOf(device)) line += " " + format;
        catalogue.push_back(line);
    }
    EXPECT_EQ(catalogue, GetParam().expected);
    korcamsim::clearFaults();
    EXPECT_FALSE(anyCameraOpen());
    const std::size_t failedOpens = GetParam().op == std::string("KorcamCameraOpen") ? GetParam().count : 0;
    EXPECT_EQ(callCount("KorcamCameraOpen"), callCount("KorcamCameraClose") + failedOpens);
    EXPECT_TRUE(warnings().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, CatalogueFaultTest,
    ::testing::Values(
        FaultCase{"DefaultFormatRefusedWithCode9",
                  "KorcamSetFormat",
                  9,
                  1,
                  1,
                  {"1 KX-A01: 0 320x240 2 1280x1024", "2 KX-A02: 0 320x240 1 640x480* 2 1280x1024"}},
        FaultCase{"EveryFormatRefusedWithCode9",
                  "KorcamSetFormat",
                  9,
                  3,
                  0,
                  {"1 KX-A01:", "2 KX-A02: 0 320x240 1 640x480* 2 1280x1024"}},
        FaultCase{
            "OtherCodeAbandonsTheCamera", "KorcamSetFormat", 5, 1, 1, {"2 KX-A02: 0 320x240 1 640x480* 2 1280x1024"}},
        FaultCase{
            "OtherCodeOnTheLastFormat", "KorcamSetFormat", 19, 1, 2, {"2 KX-A02: 0 320x240 1 640x480* 2 1280x1024"}},
        FaultCase{"CameraCannotBeOpened", "KorcamCameraOpen", 2, 1, 0, {"2 KX-A02: 0 320x240 1 640x480* 2 1280x1024"}},
        FaultCase{"IdUnreadable", "KorcamGetCameraId", 6, 1, 0, {"2 KX-A02: 0 320x240 1 640x480* 2 1280x1024"}},
        FaultCase{"MaxWidthUnreadable", "KorcamGetProperty", 6, 1, 0, {"2 KX-A02: 0 320x240 1 640x480* 2 1280x1024"}},
        FaultCase{"MaxHeightUnreadable", "KorcamGetProperty", 6, 1, 1, {"2 KX-A02: 0 320x240 1 640x480* 2 1280x1024"}},
        FaultCase{"FormatUnreadable", "KorcamGetFormat", 6, 1, 1, {"1 KX-A01: 0 320x240 1 640x480* 2 1280x1024"}}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.label); });

TEST_F(CatalogueTest, SensorSizesOutsideTheIntegersOfferNothingOrEverything) {
    korcamsim::setRig({sensor(1280, 1024), sensor(1280, 1024)});
    korcamsim::setPropertyValue(1, KORCAM_PROP_MAX_WIDTH, std::nanf(""));
    korcamsim::setPropertyValue(2, KORCAM_PROP_MAX_WIDTH, -640.0f);
    const std::vector<DeviceEntry> devices = library->availableHardware();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_TRUE(devices[0].formats.empty());
    EXPECT_TRUE(devices[1].formats.empty());
    EXPECT_EQ(callCount("KorcamSetFormat"), 0u);
}

class DeviceAttributesTest : public AdaptorTest {};

TEST_F(DeviceAttributesTest, DeclaresTheSourceAndSevenPropertiesWithCameraRanges) {
    const korimaq::DeviceAttributes attributes = library->deviceAttributes(1);
    ASSERT_EQ(attributes.sources.size(), 1u);
    EXPECT_EQ(attributes.sources[0].name, "KorvixSource");
    EXPECT_EQ(attributes.sources[0].id, 1);
    EXPECT_EQ(propertyNames(attributes), (std::vector<std::string>{"Exposure", "Gain", "Strobe", "StrobeDelay",
                                                                   "StrobeDuration", "ExposureDelay", "Timeout"}));

    // The camera's own ranges, as the SDK gives them.
    const CameraHandle handle = KorcamCameraOpen(1);
    ASSERT_NE(handle, 0u);
    struct Range {
        float minimum, maximum, defaultValue;
    };
    auto rangeOf = [&](std::int32_t id) {
        Range range{};
        std::int32_t flags = 0;
        EXPECT_TRUE(KorcamPropertyRange(handle, id, &range.minimum, &range.maximum, &range.defaultValue, &flags));
        return range;
    };
    const Range exposure = rangeOf(KORCAM_PROP_EXPOSURE_RANGE);
    const Range gain = rangeOf(KORCAM_PROP_GAIN_RANGE);
    const Range duration = rangeOf(KORCAM_PROP_STROBE_DURATION);
    KorcamCameraClose(handle);

    struct Expected {
        const char* name;
        double minimum, maximum, defaultValue;
    };
    const Expected expected[] = {
        {"Exposure", exposure.minimum, exposure.maximum, 50},
        {"Gain", gain.minimum, gain.maximum, 1},
        {"StrobeDelay", 0, 1000000, 0},
        {"StrobeDuration", duration.minimum, duration.maximum, 1},
        {"ExposureDelay", 0, 1000000, 0},
        {"Timeout", 0, 1000000000, 5000},
    };
    for (const Expected& want : expected) {
        const PropertyEntry* property = attributes.find(want.name);
        ASSERT_NE(property, nullptr) << want.name;
        EXPECT_EQ(property->kind, imaqkit::IPropInfo::KIND_DOUBLE) << want.name;
        EXPECT_TRUE(property->hasRange) << want.name;
        EXPECT_EQ(property->minimum, want.minimum) << want.name;
        EXPECT_EQ(property->maximum, want.maximum) << want.name;
        EXPECT_EQ(property->defaultValue, want.defaultValue) << want.name;
    }
    const PropertyEntry* strobe = attributes.find("Strobe");
    ASSERT_NE(strobe, nullptr);
    EXPECT_EQ(strobe->kind, imaqkit::IPropInfo::KIND_ENUM);
    EXPECT_EQ(strobe->enumValues, (std::vector<std::pair<std::string, std::int32_t>>{{"Off", 1}, {"On", 2}}));
    EXPECT_EQ(strobe->enumDefault, 1);
    for (const PropertyEntry& property : attributes.properties) EXPECT_EQ(property.readOnly, "whileRunning");

    EXPECT_FALSE(anyCameraOpen());
    EXPECT_TRUE(warnings().empty());
}

TEST_F(DeviceAttributesTest, DependOnTheCameraAlone) {
    const korimaq::DeviceAttributes plain = library->deviceAttributes(2);
    const korimaq::DeviceAttributes other = library->deviceAttributes(2, "1280x1024", false);
    ASSERT_EQ(plain.properties.size(), other.properties.size());
    for (std::size_t i = 0; i < plain.properties.size(); ++i) {
        EXPECT_EQ(plain.properties[i].name, other.properties[i].name);
        EXPECT_EQ(plain.properties[i].minimum, other.properties[i].minimum);
        EXPECT_EQ(plain.properties[i].maximum, other.properties[i].maximum);
        EXPECT_EQ(plain.properties[i].defaultValue, other.properties[i].defaultValue);
    }
}

TEST_F(DeviceAttributesTest, CameraWithoutStrobeDurationHasSixPropertiesSilently) {
    const korimaq::DeviceAttributes attributes = library->deviceAttributes(3);
    EXPECT_EQ(propertyNames(attributes),
              (std::vector<std::string>{"Exposure", "Gain", "Strobe", "StrobeDelay", "ExposureDelay", "Timeout"}));
    EXPECT_TRUE(warnings().empty());
    EXPECT_FALSE(anyCameraOpen());
}

struct AttributeFaultCase {
    const char* label;
    const char* op;
    std::uint32_t code;
    std::uint64_t skip;
    std::vector<std::string> properties;
    std::vector<std::string> warnings;
};

std::ostream& operator<<(std::ostream& out, const AttributeFaultCase& c) { return out << c.label; }

class DeviceAttributesFaultTest : public AdaptorTest, public ::testing::WithParamInterface<AttributeFaultCase> {};

TEST_P(DeviceAttributesFaultTest, WarnsAndGoesOnWithoutTheProperty) {
    korcamsim::failOperation(GetParam().op, GetParam().code, 1, GetParam().skip);
    const korimaq::DeviceAttributes attributes = library->deviceAttributes(1);
    EXPECT_EQ(propertyNames(attributes), GetParam().properties);
    EXPECT_EQ(warnings(), GetParam().warnings);
    ASSERT_EQ(attributes.sources.size(), 1u);  // the source comes first, whatever fails
    korcamsim::clearFaults();
    EXPECT_FALSE(anyCameraOpen());
}

INSTANTIATE_TEST_SUITE_P(
    DeviceAttributes, DeviceAttributesFaultTest,
    ::testing::Values(
        AttributeFaultCase{"CameraCannotBeOpened",
                           "KorcamCameraOpen",
                           2,
                           0,
                           {},
                           {"KorvixImaq:getDeviceAttributes|Cannot open camera connection. Error 2"}},
        AttributeFaultCase{"ExposureRange",
                           "KorcamPropertyRange",
                           7,
                           0,
                           {"Gain", "Strobe", "StrobeDelay", "StrobeDuration", "ExposureDelay", "Timeout"},
                           {"KorvixImaq:getDeviceAttributes|Cannot get exposure range. Error 7"}},
        AttributeFaultCase{"GainRange",
                           "KorcamPropertyRange",
                           8,
                           1,
                           {"Exposure", "Strobe", "StrobeDelay", "StrobeDuration", "ExposureDelay", "Timeout"},
                           {"KorvixImaq:getDeviceAttributes|Cannot get gain range. Error 8"}},
        AttributeFaultCase{"StrobeDurationRange",
                           "KorcamPropertyRange",
                           5,
                           2,
                           {"Exposure", "Gain", "Strobe", "StrobeDelay", "ExposureDelay", "Timeout"},
                           {"KorvixImaq:getDeviceAttributes|Cannot get strobe duration range. Error 5"}},
        AttributeFaultCase{"StrobeDurationUnsupported",
                           "KorcamPropertyRange",
                           22,
                           2,
                           {"Exposure", "Gain", "Strobe", "StrobeDelay", "ExposureDelay", "Timeout"},
                           {}}),
    [](const ::testing::TestParamInfo<AttributeFaultCase>& info) { return std::string(info.param.label); });

TEST_F(DeviceAttributesTest, CreateInstanceRefusesMissingArguments) {
    library->onEngineThread([&] {
        EXPECT_EQ(library->exports().createInstance(nullptr, nullptr, "640x480"), nullptr);
        library->exports().getAvailHW(nullptr);
        library->exports().getDeviceAttributes(nullptr, nullptr, nullptr, nullptr, nullptr);
    });
}

}  // namespace
}  // namespace adaptortest
