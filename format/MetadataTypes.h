#pragma once
// Value-type codes of metadata (the same in a file, the tag store and
// MetadataElement) and the names of the system's tags.

namespace Lumetra {

enum MetadataType : int {
    TypeUInt8 = 1,
    TypeUInt16 = 2,
    TypeUInt32 = 3,
    TypeText = 5,
    TypeFloat32 = 6,
    TypeFloat64 = 7,
    TypeInt8 = 8,
    TypeInt16 = 9,
    TypeInt32 = 10,
    TypeNone = 11
};

// True for the codes 1, 2, 3, 6, 7, 8, 9 and 10.
bool isNumericMetadataType(int type);

namespace Tag {
constexpr const char* SOM = "IMAGE::SOM";
constexpr const char* EOM = "IMAGE::EOM";
constexpr const char* WIDTH = "IMAGE::WIDTH";
constexpr const char* HEIGHT = "IMAGE::HEIGHT";
constexpr const char* INPUT_NAME = "IMAGE::INPUT_NAME";
constexpr const char* INPUT_FILE_SIZE = "IMAGE::INPUT_FILE_SIZE";
constexpr const char* BITS_PER_SAMPLE = "IMAGE::BITS_PER_SAMPLE";
constexpr const char* COLOR_SCHEME = "IMAGE::COLOR_SCHEME";
constexpr const char* DATA_TYPE = "IMAGE::DATA_TYPE";
constexpr const char* XY_ORIGIN = "IMAGE::XY_ORIGIN";
constexpr const char* X_RESOLUTION = "IMAGE::X_RESOLUTION";
constexpr const char* Y_RESOLUTION = "IMAGE::Y_RESOLUTION";
constexpr const char* X_ROTATION = "IMAGE::X_ROTATION";
constexpr const char* Y_ROTATION = "IMAGE::Y_ROTATION";
constexpr const char* NO_DATA_VALUE = "IMAGE::NO_DATA_VALUE";
constexpr const char* TRANSPARENT_DATA_VALUE = "IMAGE::TRANSPARENT_DATA_VALUE";
constexpr const char* INPUT_LUT = "IMAGE::INPUT_LUT";
constexpr const char* NO_DITHER = "IMAGE::NO_DITHER";
constexpr const char* DYNAMIC_RANGE_WINDOW = "IMAGE::DYNAMIC_RANGE_WINDOW";
constexpr const char* DYNAMIC_RANGE_LEVEL = "IMAGE::DYNAMIC_RANGE_LEVEL";
constexpr const char* COMPRESSION_VERSION = "IMAGE::COMPRESSION_VERSION";
constexpr const char* CREATION_DATE = "IMAGE::CREATION_DATE";
constexpr const char* TARGET_COMPRESSION_RATIO = "IMAGE::TARGET_COMPRESSION_RATIO";
constexpr const char* COMPRESSION_WEIGHT = "IMAGE::COMPRESSION_WEIGHT";
constexpr const char* COMPRESSION_KWEIGHT = "IMAGE::COMPRESSION_KWEIGHT";
constexpr const char* COMPRESSION_GAMMA = "IMAGE::COMPRESSION_GAMMA";
constexpr const char* COMPRESSION_NLEV = "IMAGE::COMPRESSION_NLEV";
constexpr const char* COMPRESSION_BLOCK_SIZE = "IMAGE::COMPRESSION_BLOCK_SIZE";
}  // namespace Tag

}  // namespace Lumetra
