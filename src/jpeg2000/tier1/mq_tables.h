// MQ arithmetic coder: the probability-estimation table and the initial
// states of the 19 Tier-1 contexts.  Shared by the encoder and the decoder.
#pragma once

#include <array>
#include <cstdint>

namespace zeb::t1 {

inline constexpr int kMqContexts = 19;

// Context numbers (zero coding 2..10, sign coding 11..15, refinement 16..18).
inline constexpr int kCtxUniform = 0;    // run-length position bits, segmentation symbol
inline constexpr int kCtxRunLength = 1;  // cleanup run-length decision

// One row of the T.800 Table C.2 estimator: Qe, next state after an MPS,
// next state after an LPS, and whether an LPS swaps the MPS sense.
struct MqEstimatorRow {
    std::uint32_t qe;
    std::uint32_t nmps;
    std::uint32_t nlps;
    std::uint32_t swap;
};

inline constexpr std::array<MqEstimatorRow, 47> mqEstimatorTable = {{
    {0x5601, 1, 1, 1},   {0x3401, 2, 6, 0},   {0x1801, 3, 9, 0},   {0x0AC1, 4, 12, 0},
    {0x0521, 5, 29, 0},  {0x0221, 38, 33, 0}, {0x5601, 7, 6, 1},   {0x5401, 8, 14, 0},
    {0x4801, 9, 14, 0},  {0x3801, 10, 14, 0}, {0x3001, 11, 17, 0}, {0x2401, 12, 18, 0},
    {0x1C01, 13, 20, 0}, {0x1601, 29, 21, 0}, {0x5601, 15, 14, 1}, {0x5401, 16, 14, 0},
    {0x5101, 17, 15, 0}, {0x4801, 18, 16, 0}, {0x3801, 19, 17, 0}, {0x3401, 20, 18, 0},
    {0x3001, 21, 19, 0}, {0x2801, 22, 19, 0}, {0x2401, 23, 20, 0}, {0x2201, 24, 21, 0},
    {0x1C01, 25, 22, 0}, {0x1801, 26, 23, 0}, {0x1601, 27, 24, 0}, {0x1401, 28, 25, 0},
    {0x1201, 29, 26, 0}, {0x1101, 30, 27, 0}, {0x0AC1, 31, 28, 0}, {0x09C1, 32, 29, 0},
    {0x08A1, 33, 30, 0}, {0x0521, 34, 31, 0}, {0x0441, 35, 32, 0}, {0x02A1, 36, 33, 0},
    {0x0221, 37, 34, 0}, {0x0141, 38, 35, 0}, {0x0111, 39, 36, 0}, {0x0085, 40, 37, 0},
    {0x0049, 41, 38, 0}, {0x0025, 42, 39, 0}, {0x0015, 43, 40, 0}, {0x0009, 44, 41, 0},
    {0x0005, 45, 42, 0}, {0x0001, 45, 43, 0}, {0x5601, 46, 46, 0},
}};

static_assert(mqEstimatorTable[0].qe == 0x5601 && mqEstimatorTable[45].qe == 0x0001);
static_assert(mqEstimatorTable[46].nmps == 46 && mqEstimatorTable[46].nlps == 46,
              "the uniform state never adapts");

// The estimator table indexed by a packed context word, 2 * state + MPS:
// Qe, the MPS sense and the packed words that follow an MPS and an LPS.
// Coding loops keep a context as one packed word instead of a state and an
// MPS sense, which saves a load and a store per decision.
// Eight bytes an entry, so that a packed word indexes the table directly.
struct MqTransition {
    std::uint16_t qe;
    std::uint8_t mps;
    std::uint8_t nextMps;
    std::uint8_t nextLps;
    std::uint8_t unused[3];
};
static_assert(sizeof(MqTransition) == 8);

inline constexpr std::array<MqTransition, 2 * 47> mqTransitions = [] {
    std::array<MqTransition, 2 * 47> t{};
    for (std::uint32_t k = 0; k < 2 * 47; ++k) {
        const MqEstimatorRow& row = mqEstimatorTable[k >> 1];
        const std::uint32_t mps = k & 1u;
        t[k] = {static_cast<std::uint16_t>(row.qe), static_cast<std::uint8_t>(mps),
                static_cast<std::uint8_t>(2 * row.nmps + mps), static_cast<std::uint8_t>(2 * row.nlps + (mps ^ row.swap)),
                {}};
    }
    return t;
}();

static_assert(mqTransitions[1].nextLps == 2 && mqTransitions[0].nextLps == 3 && mqTransitions[3].nextMps == 5);

// Initial state index and MPS of each context: uniform 46, run length 3,
// zero coding without significant neighbours 4, everything else 0; MPS 0.
inline constexpr std::array<std::uint32_t, kMqContexts> mqInitialStates = {
    46, 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
inline constexpr std::array<std::uint32_t, kMqContexts> mqInitialMps = {};

}  // namespace zeb::t1
