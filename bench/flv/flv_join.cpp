// Joins FLV files with the library, the way the connection page does, and
// prints the time it took. Usage: vt_bench_flv_join OUT IN1 IN2 [IN...]
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "pages/flv/FlvOperations.h"

namespace {

class QuietHost : public vt::OperationHost {
  public:
    void ReportProgress(double) override {}
    bool StopRequested() const override { return false; }
    void ReportError(const std::string& detail, int code) override {
        std::fprintf(stderr, "error %d %s\n", code, detail.c_str());
    }
    bool AskOkCancel(const std::string&, const std::string&) override { return true; }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s OUT IN1 IN2 [IN...]\n", argv[0]);
        return 2;
    }
    std::vector<std::string> inputs(argv + 2, argv + argc);
    QuietHost host;
    auto t0 = std::chrono::steady_clock::now();
    const vt::OpResult result = vt::FlvConnection(host, inputs, argv[1]);
    const int code = result.code;
    if (code != 0) host.ReportError(result.detail, code);
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("joined in %.2f s, result %d\n", s, code);
    return code == 0 ? 0 : 1;
}
