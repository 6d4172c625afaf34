// Writes an AVI file whose video stream is nothing but empty chunks (dropped
// frames), with its index: the input of the memory bound check of
// bench/hostile_avi.sh. Usage: avi_empty_chunks OUTPUT.avi COUNT
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/AviFile.h"

using namespace vt;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s output.avi count\n", argv[0]);
        return 2;
    }
    const long long count = std::atoll(argv[2]);
    std::shared_ptr<AviFile> file;
    if (AviFile::Create(argv[1], file) != kAviOk) return 1;
    AviStreamInfo info;
    info.fccType = kStreamTypeVideo;
    info.fccHandler = MakeFourCC('F', 'M', 'P', '4');
    info.dwScale = 1;
    info.dwRate = 25;
    info.dwQuality = 0xFFFFFFFFu;
    BitmapInfoHeader bh;
    bh.biWidth = 160;
    bh.biHeight = 120;
    bh.biBitCount = 24;
    bh.biCompression = MakeFourCC('F', 'M', 'P', '4');
    bh.biSizeImage = 160 * 120 * 3;
    std::shared_ptr<AviStream> video;
    if (file->CreateStream(video, info) != kAviOk || video->SetFormat(0, &bh, int32_t(sizeof bh)) != kAviOk)
        return 1;
    for (long long i = 0; i < count; ++i)
        if (video->Write(-1, 1, nullptr, 0, 0, nullptr, nullptr) != kAviOk) return 1;
    video.reset();
    return file->Finish() == kAviOk ? 0 : 1;
}
