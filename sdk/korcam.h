/*
 * korcam.h - records and operations of the camera SDK (korcamapi).
 *
 * This header is the binding contract with the maker's camera library: every
 * record is little-endian, naturally aligned, 32-bit fields unless stated,
 * floats in IEEE single precision. It compiles as C and as C++, for 32-bit
 * Windows (the real library) and for any host the virtual cameras run on.
 * Every operation returns a 32-bit boolean (0 = failure) unless stated.
 */
#ifndef KORCAM_H
#define KORCAM_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(KORCAM_BUILDING_LIBRARY)
#define KORCAM_API __declspec(dllexport)
#else
#define KORCAM_API __declspec(dllimport)
#endif
#else
#define KORCAM_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t KorcamBool;       /* 0 = failure */
typedef uint32_t CameraHandle;    /* opaque; 0 = failure */
typedef uint32_t SyncGroupHandle; /* synchronous-snapshot group; 0 = failure */

/* Geometry and sample format of the frames a camera delivers. The frame rate
 * never lives here: it travels beside the format as a float. */
typedef struct FrameFormat {
    uint32_t xOffset;     /* left edge of the region of interest, sensor pixels */
    uint32_t yOffset;     /* top edge of the region of interest */
    uint32_t width;       /* region width before subsampling or binning */
    uint32_t height;      /* region height before subsampling or binning */
    uint32_t pixelFormat; /* KORCAM_PIXEL_* */
    uint16_t xBinSub;     /* delivered width = width / xBinSub */
    uint16_t xFlags;      /* horizontal mode flags, passed through */
    uint16_t yBinSub;     /* delivered height = height / yBinSub */
    uint16_t yFlags;      /* vertical mode flags, passed through */
} FrameFormat;

/* Everything the SDK needs for a still frame or for fast frames. */
typedef struct SnapshotSettings {
    float exposure;
    float gain;
    float redGain; /* the colour gains lie red, blue, green 1, green 2 */
    float blueGain;
    float green1Gain;
    float green2Gain;
    uint32_t strobeEnable;
    float strobeDelay;
    uint32_t hardwareTriggerEnable;
    float timeout; /* milliseconds */
    FrameFormat format;
    uint32_t reserved18; /* carried through, never interpreted */
    float exposureDelay;
    uint32_t reserved20;
    uint32_t reserved21;
    float reserved22;
    float reserved23;
} SnapshotSettings;

/* Options of the RGB conversion operations. */
typedef struct ConversionParams {
    uint32_t demosaicMethod;
    uint32_t colorCorrection;
} ConversionParams;

typedef struct VersionInfo {
    uint32_t firmware;
    uint32_t fpga;
    uint32_t api;
    uint32_t driver;
    uint32_t serialNumber;
    uint32_t reserved;
} VersionInfo;

/* Sample format codes of FrameFormat.pixelFormat. */
enum { KORCAM_PIXEL_8BIT = 0, KORCAM_PIXEL_16BIT = 1, KORCAM_PIXEL_YUV422 = 3 };

/* Property identifiers. */
enum {
    KORCAM_PROP_BRIGHTNESS = 0,
    KORCAM_PROP_CONTRAST = 1,
    KORCAM_PROP_HUE = 2,
    KORCAM_PROP_SATURATION = 3,
    KORCAM_PROP_GAMMA = 5,
    KORCAM_PROP_EXPOSURE = 20,
    KORCAM_PROP_GAIN = 40,
    KORCAM_PROP_EXPOSURE_RANGE = 50, /* range of the adaptor's exposure */
    KORCAM_PROP_GAIN_RANGE = 51,     /* range of the adaptor's gain */
    KORCAM_PROP_COLOR_FORMAT = 80,   /* value 0.0 = monochrome sensor */
    KORCAM_PROP_MAX_WIDTH = 81,
    KORCAM_PROP_MAX_HEIGHT = 82,
    KORCAM_PROP_STROBE_DURATION = 116
};

/* Flags word of the colour format that marks 16-bit samples as delivered in
 * little-endian order; any other word means their two bytes are swapped. */
#define KORCAM_COLOR_FLAGS_LITTLE_ENDIAN 0x80000000u

/* Stream control codes of KorcamStreamVideoControl. */
enum { KORCAM_STREAM_STOP = 0, KORCAM_STREAM_START_OWN_WINDOW = 2 };

/* Last-error codes that callers test; every other code is only reported. */
enum { KORCAM_ERROR_FORMAT_NOT_SUPPORTED = 9, KORCAM_ERROR_TIMEOUT = 19, KORCAM_ERROR_NOT_SUPPORTED = 22 };

/* Options every caller passes to the conversion operations. */
enum { KORCAM_DEMOSAIC_METHOD = 3, KORCAM_COLOR_CORRECTION = 1 };

/* Attached cameras; -1 on failure. */
KORCAM_API int32_t KorcamNumCameras(void);
/* Fills up to length records in camera order; returns the number filled. */
KORCAM_API uint32_t KorcamEnumCameras(VersionInfo* records, uint32_t length);
/* Camera numbers start at 1; returns 0 on failure. */
KORCAM_API CameraHandle KorcamCameraOpen(int32_t cameraNumber);
KORCAM_API KorcamBool KorcamCameraClose(CameraHandle handle);

KORCAM_API KorcamBool KorcamGetFormat(CameraHandle handle, FrameFormat* format, float* frameRate);
KORCAM_API KorcamBool KorcamSetFormat(CameraHandle handle, const FrameFormat* format, float frameRate);
/* code KORCAM_STREAM_*; window 0 lets the library open its own display window. */
KORCAM_API KorcamBool KorcamStreamVideoControl(CameraHandle handle, int32_t code, void* window);
KORCAM_API KorcamBool KorcamDestroyDisplayWindow(CameraHandle handle);
/* With capacity 0 and no array: the number of rates (0 = failure); else fills. */
KORCAM_API int32_t KorcamEnumAvailableFrameRates(CameraHandle handle, uint32_t capacity, float* rates);
KORCAM_API KorcamBool KorcamDisplayPropertyPage(CameraHandle handle, void* parentWindow);

/* One raw frame each, into a buffer sized from the current format. */
KORCAM_API KorcamBool KorcamTakeVideo(CameraHandle handle, int32_t frameCount, void* buffer);
KORCAM_API KorcamBool KorcamTakeSnapshot(CameraHandle handle, const SnapshotSettings* settings, void* buffer);
KORCAM_API KorcamBool KorcamTakeFastFrame(CameraHandle handle, void* buffer);
KORCAM_API KorcamBool KorcamEnableFastFrames(CameraHandle handle, const SnapshotSettings* settings);
KORCAM_API KorcamBool KorcamDisableFastFrames(CameraHandle handle);

/* Demosaic a raw frame into blue, green, red samples per pixel (8 or 16 bits). */
KORCAM_API KorcamBool KorcamConvertFrameToRgb24(CameraHandle handle, void* destination, const void* source,
                                                uint32_t width, uint32_t height, uint32_t pixelFormat,
                                                const ConversionParams* params);
KORCAM_API KorcamBool KorcamConvertFrameToRgb48(CameraHandle handle, void* destination, const void* source,
                                                uint32_t width, uint32_t height, uint32_t pixelFormat,
                                                const ConversionParams* params);

KORCAM_API KorcamBool KorcamGetProperty(CameraHandle handle, int32_t id, float* value, int32_t* flags);
KORCAM_API KorcamBool KorcamSetProperty(CameraHandle handle, int32_t id, float value, int32_t flags);
KORCAM_API KorcamBool KorcamPropertyRange(CameraHandle handle, int32_t id, float* minimum, float* maximum,
                                          float* defaultValue, int32_t* flags);

/* Code of the last failure on the calling thread. */
KORCAM_API uint32_t KorcamGetLastError(void);

KORCAM_API SyncGroupHandle KorcamEnableSynchronousSnapshots(uint32_t count, const CameraHandle* handles,
                                                            SnapshotSettings* const* settings);
KORCAM_API KorcamBool KorcamTakeSynchronousSnapshots(SyncGroupHandle group, void* const* buffers);
KORCAM_API KorcamBool KorcamDisableSynchronousSnapshots(SyncGroupHandle group);

KORCAM_API KorcamBool KorcamGpioRead(CameraHandle handle, uint8_t* first, uint8_t* second);
KORCAM_API KorcamBool KorcamGpioWrite(CameraHandle handle, int32_t value);
KORCAM_API KorcamBool KorcamGpoSelect(CameraHandle handle, int32_t mask);

KORCAM_API KorcamBool KorcamQueryVersion(CameraHandle handle, VersionInfo* version);
KORCAM_API KorcamBool KorcamQueryExternInterface(CameraHandle handle, uint32_t* interfaceType);
KORCAM_API KorcamBool KorcamGetCameraId(CameraHandle handle, uint32_t* id);
KORCAM_API KorcamBool KorcamGetTruePixelDepth(CameraHandle handle, uint32_t* depth);

KORCAM_API KorcamBool KorcamOneShotAutoExposure(CameraHandle handle, int32_t a, int32_t b, int32_t c, int32_t d,
                                                int32_t e);
KORCAM_API KorcamBool KorcamOneShotAutoIris(CameraHandle handle, int32_t a, int32_t b, int32_t c, int32_t d, int32_t e);
KORCAM_API KorcamBool KorcamOneShotAutoWhiteBalance(CameraHandle handle, int32_t a, int32_t b, int32_t c, int32_t d);
KORCAM_API KorcamBool KorcamDigitalWhiteBalance(CameraHandle handle, int32_t a, int32_t b, int32_t c, int32_t d);
KORCAM_API KorcamBool KorcamOneShotAutoWhiteBalanceEx(CameraHandle handle, float x, float y, int32_t a, int32_t b,
                                                      int32_t c, int32_t d);
KORCAM_API KorcamBool KorcamDigitalWhiteBalanceEx(CameraHandle handle, float x, float y, int32_t a, int32_t b,
                                                  int32_t c, int32_t d);

KORCAM_API KorcamBool KorcamInitAutoLens(CameraHandle handle, uint8_t enable);
KORCAM_API KorcamBool KorcamAutoFocusStart(CameraHandle handle, int32_t a, int32_t b, int32_t c, int32_t d, float x,
                                           float y, float z, int32_t e, int32_t f);
KORCAM_API KorcamBool KorcamAutoFocusWait(CameraHandle handle, uint32_t timeoutMs);
KORCAM_API KorcamBool KorcamAutoFocusStop(CameraHandle handle);
KORCAM_API KorcamBool KorcamAutoFocusQueryProgress(CameraHandle handle, float* progress);

#ifdef __cplusplus
}
#endif

/* The layout is the contract with the maker's library: check it on every build. */
#ifdef __cplusplus
#define KORCAM_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define KORCAM_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif
KORCAM_STATIC_ASSERT(sizeof(FrameFormat) == 28, "FrameFormat is 28 bytes");
KORCAM_STATIC_ASSERT(offsetof(FrameFormat, pixelFormat) == 16, "FrameFormat.pixelFormat at 16");
KORCAM_STATIC_ASSERT(offsetof(FrameFormat, xBinSub) == 20, "FrameFormat.xBinSub at 20");
KORCAM_STATIC_ASSERT(offsetof(FrameFormat, xFlags) == 22, "FrameFormat.xFlags at 22");
KORCAM_STATIC_ASSERT(offsetof(FrameFormat, yBinSub) == 24, "FrameFormat.yBinSub at 24");
KORCAM_STATIC_ASSERT(offsetof(FrameFormat, yFlags) == 26, "FrameFormat.yFlags at 26");
KORCAM_STATIC_ASSERT(sizeof(SnapshotSettings) == 92, "SnapshotSettings is 92 bytes");
KORCAM_STATIC_ASSERT(offsetof(SnapshotSettings, strobeEnable) == 24, "strobe enable is field 7");
KORCAM_STATIC_ASSERT(offsetof(SnapshotSettings, timeout) == 36, "timeout is field 10");
KORCAM_STATIC_ASSERT(offsetof(SnapshotSettings, format) == 40, "format is fields 11-17");
KORCAM_STATIC_ASSERT(offsetof(SnapshotSettings, reserved18) == 68, "field 18 follows the format");
KORCAM_STATIC_ASSERT(offsetof(SnapshotSettings, exposureDelay) == 72, "exposure delay is field 19");
KORCAM_STATIC_ASSERT(offsetof(SnapshotSettings, reserved23) == 88, "field 23 is the last");
KORCAM_STATIC_ASSERT(sizeof(ConversionParams) == 8, "ConversionParams is 8 bytes");
KORCAM_STATIC_ASSERT(sizeof(VersionInfo) == 24, "VersionInfo is 24 bytes");
KORCAM_STATIC_ASSERT(offsetof(VersionInfo, serialNumber) == 16, "serial number is field 5");
#undef KORCAM_STATIC_ASSERT

#endif /* KORCAM_H */
