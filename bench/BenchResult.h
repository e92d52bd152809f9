#pragma once
// What every benchmark shares: the result line that bench/run collects into
// its table.
//
// A result line reads
//   RESULT|what|ours|peer|ratio|target|met
// with the figures already written as text ("1.23 s", "-" where there is
// no peer or no ratio) and met "yes" or "no".

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace Bench {

inline QString Figure(double value, const char* unit, int decimals = 2) {
    return QString::number(value, 'f', decimals) + u' ' + QString::fromUtf8(unit);
}

inline void Result(const QString& what, const QString& ours, const QString& peer, double ratio,
                   const QString& target, bool met) {
    // Small ratios keep two significant digits.
    const int decimals = ratio > 0 && ratio < 0.01 ? 2 - int(std::floor(std::log10(ratio))) : 2;
    const QString ratioText =
        ratio >= 0 ? QString::number(ratio, 'f', decimals) + u'x' : QStringLiteral("-");
    std::printf("RESULT|%s|%s|%s|%s|%s|%s\n", qPrintable(what), qPrintable(ours),
                qPrintable(peer.isEmpty() ? QStringLiteral("-") : peer), qPrintable(ratioText),
                qPrintable(target), met ? "yes" : "no");
    std::fflush(stdout);
}

// A ratio of ours to the peer's figure with an upper limit; valid is false
// when ours did not do the same work (then the target counts as missed).
inline void RatioResult(const QString& what, double ours, double peer, const char* unit,
                        double limit, bool valid = true) {
    const double ratio = peer > 0 ? ours / peer : -1;
    Result(what, Figure(ours, unit), Figure(peer, unit), ratio,
           QStringLiteral("<= %1x").arg(limit, 0, 'f', 1), valid && ratio >= 0 && ratio <= limit);
}

inline double Best(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

inline double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace Bench
