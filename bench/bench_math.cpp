// Calibration mathematics on 20 calibration points: the four-factor fit of method 1 and
// the complete method-2 computation (quadratic fit above 0 °C, golden-section search for C).
#include <benchmark/benchmark.h>

#include <vector>

#include "math/least_squares.h"
#include "math/platinum.h"

using namespace velmora::math;

namespace {
const TCofSet kIec{100.0, 3.9083e-3, -5.775e-7, -4.183e-12};

std::vector<double> temperatures() {
  std::vector<double> t;
  for (int i = 0; i < 20; ++i) t.push_back(-200.0 + i * 55.0);  // -200 … 845 °C
  return t;
}
}  // namespace

static void BM_FitCalibration20(benchmark::State& state) {
  std::vector<TCalibrPoint> pts;
  for (double t : temperatures()) pts.push_back({t, RofT(kIec, t, t < 0) + 0.001 * (t > 300)});
  for (auto _ : state) {
    TFitResult r;
    FitCalibration(pts, nullptr, r);
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_FitCalibration20);

static void BM_Method2Search20(benchmark::State& state) {
  std::vector<double> posT, posR, negT, negR;
  for (double t : temperatures()) {
    (t >= 0 ? posT : negT).push_back(t);
    (t >= 0 ? posR : negR).push_back(RofT(kIec, t, t < 0));
  }
  for (auto _ : state) {
    QuadWorkspace ws;
    BuildQuadNormalEq(ws, posR, posT);
    InvertMatrix3(ws.QuadMatrix, 3, ws.QuadInverse);
    ws.QuadSolution = MulMatrixVector3(ws.QuadInverse, ws.QuadRhs);
    TCofSet cof{ws.QuadSolution[2], ws.QuadSolution[1] / ws.QuadSolution[2], ws.QuadSolution[0] / ws.QuadSolution[2], 0};
    cof.C = FindC(cof, negT, negR);
    benchmark::DoNotOptimize(cof);
  }
}
BENCHMARK(BM_Method2Search20);

BENCHMARK_MAIN();
