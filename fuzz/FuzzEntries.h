#pragma once
// The entry points of our fuzz targets: each feeds one input (the bytes of a
// file) through one reader or one operation, the way a hostile file would
// reach it, and returns normally whatever the bytes are. The libFuzzer
// targets call them, and so does the regression replay of the normal test
// suite, with every input that once broke a target. Qt-free.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vt::fuzz {

using Entry = void (*)(const uint8_t* data, size_t size);

// Readers.
void AviReader(const uint8_t* data, size_t size);    // open, every stream's format, samples, index
void WavReader(const uint8_t* data, size_t size);    // the WAV file reader and the WAV open of the AVI layer
void AsfReader(const uint8_t* data, size_t size);    // header objects, every packet and payload
void FlvReader(const uint8_t* data, size_t size);    // tag index, metadata, every tag, AVI and MP3 output
void Amf0Decoder(const uint8_t* data, size_t size);  // one value after another
void ProfileReader(const uint8_t* data, size_t size);   // the settings (INI) file
void RegistryReader(const uint8_t* data, size_t size);  // the registry store file
void VersionBlock(const uint8_t* data, size_t size);    // the version block reader

// Operations, as the command line runs them, on the input written to a
// temporary file (outputs in the same temporary folder).
void AviOperations(const uint8_t* data, size_t size);  // separation, extraction, join with itself
void WavOperations(const uint8_t* data, size_t size);  // extraction, join with itself
void FlvOperations(const uint8_t* data, size_t size);  // separation, extraction, join with itself
void WmOperations(const uint8_t* data, size_t size);   // separation, extraction, join with itself

// The entry of a target name ("avi_reader", ...), or null.
Entry FindEntry(std::string_view target);
// Every target name, space separated.
const char* TargetNames();

}  // namespace vt::fuzz
