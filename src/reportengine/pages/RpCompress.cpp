#include "RpCompress.h"

#include "Exception.h"
#include "RpStream.h"

#include <algorithm>
#include <limits>

namespace {

// Nodes 0-255 are internal (0 is the root), 256-512 leaves; byte value v is
// leaf v + 256 (leaf 512 is never coded).
constexpr int Root = 0;
constexpr int LeafBase = 256;
constexpr qint64 BufferSize = 65536;

} // namespace

struct TRpCompress::TState {
    quint8 Up[513];
    quint16 Left[256];
    quint16 Right[256];

    // Bits not yet written (encoder) or not yet used (decoder), the next bit
    // in the lowest position.
    quint64 Acc = 0;
    int AccBits = 0;

    // Encoder output buffer, or decoder input buffer.
    char Buf[BufferSize + 16];
    qint64 BufLen = 0;
    qint64 BufPos = 0;

    qint64 Produced = 0; // encoder: bytes handed to the stream so far
    qint64 Loaded = 0;   // decoder: bytes moved into Acc so far
    qint64 Fetched = 0;  // decoder: bytes read from the stream so far
    qint64 InputLimit = std::numeric_limits<qint64>::max();
};

TRpCompress::TRpCompress(TRpStream* stream, bool encoding)
    : Stream(stream), Encoding(encoding), S(std::make_unique<TState>()) {
    // The balanced start: up[i] = (i - 1) / 2, left[i] = 2i + 1, right[i] = 2i + 2.
    S->Up[0] = 0;
    for (int i = 1; i <= 512; ++i)
        S->Up[i] = quint8((i - 1) / 2);
    for (int i = 0; i < 256; ++i) {
        S->Left[i] = quint16(2 * i + 1);
        S->Right[i] = quint16(2 * i + 2);
    }
    if (!Encoding)
        StartPos = Stream->Position();
}

TRpCompress::~TRpCompress() {
    if (!Finished) {
        try {
            Finish();
        } catch (const Exception&) {
        }
    }
}

// Each node on the way from the leaf swaps places with its parent's sibling,
// and the walk goes on from the grandparent: the path to the leaf is roughly
// halved and the tree adapts to the bytes seen.
inline void TRpCompress::SemiSplay(int value) {
    quint8* up = S->Up;
    quint16* left = S->Left;
    quint16* right = S->Right;
    int a = value + LeafBase;
    do {
        const int p = up[a];
        if (p != Root) {
            const int g = up[p];
            int s = left[g];
            if (s == p) {
                s = right[g];
                right[g] = quint16(a);
            } else {
                left[g] = quint16(a);
            }
            if (a == left[p])
                left[p] = quint16(s);
            else
                right[p] = quint16(s);
            up[a] = quint8(g);
            up[s] = quint8(p);
            a = g;
        } else {
            a = p;
        }
    } while (a != Root);
}

void TRpCompress::FlushOutput() {
    if (S->BufLen > 0) {
        Stream->Write(S->Buf, S->BufLen);
        S->Produced += S->BufLen;
        S->BufLen = 0;
    }
}

void TRpCompress::EncodeSymbol(quint8 value) {
    Encode(reinterpret_cast<const char*>(&value), 1);
}

void TRpCompress::Encode(const char* data, qint64 size) {
    TState& s = *S;
    const quint8* up = s.Up;
    const quint16* right = s.Right;
    for (qint64 i = 0; i < size; ++i) {
        const int value = quint8(data[i]);
        // Walking up from the leaf finds the bits leaf end first; shifting each
        // new bit in below the others puts the root end's bit lowest, which is
        // the order they go out in (first bit in the lowest free position).
        quint64 code = 0;
        int depth = 0;
        int a = value + LeafBase;
        while (a != Root && depth < 56) {
            const int p = up[a];
            code = (code << 1) | quint64(right[p] == a);
            ++depth;
            a = p;
        }
        if (a == Root) {
            s.Acc |= code << s.AccBits;
            s.AccBits += depth;
        } else {
            // A path deeper than 56 (possible after long skewed input): collect
            // it whole, then emit it bit by bit from the root end.
            quint8 path[520];
            int n = 0;
            a = value + LeafBase;
            while (a != Root) {
                const int p = up[a];
                path[n++] = quint8(right[p] == a);
                a = p;
            }
            while (n > 0) {
                s.Acc |= quint64(path[--n]) << s.AccBits;
                if (++s.AccBits == 64) {
                    for (int k = 0; k < 8; ++k)
                        s.Buf[s.BufLen++] = char(quint8(s.Acc >> (8 * k)));
                    s.Acc = 0;
                    s.AccBits = 0;
                    if (s.BufLen >= BufferSize)
                        FlushOutput();
                }
            }
        }
        while (s.AccBits >= 8) {
            s.Buf[s.BufLen++] = char(quint8(s.Acc));
            s.Acc >>= 8;
            s.AccBits -= 8;
        }
        if (s.BufLen >= BufferSize)
            FlushOutput();
        SemiSplay(value);
    }
}

void TRpCompress::SetInputLimit(qint64 bytes) {
    S->InputLimit = std::max<qint64>(0, bytes);
}

// Moves whole bytes from the input buffer into the bit accumulator, reading
// the next block of the stream when the buffer is empty.
void TRpCompress::Refill() {
    TState& s = *S;
    if (s.BufPos == s.BufLen) {
        const qint64 want = std::min(BufferSize, s.InputLimit - s.Fetched);
        const qint64 n = want > 0 ? Stream->Read(s.Buf, want) : 0;
        if (n <= 0)
            throw Exception(
                QStringLiteral("The report file is damaged: the data of a page ends too early."));
        s.BufLen = n;
        s.BufPos = 0;
        s.Fetched += n;
    }
    while (s.AccBits <= 56 && s.BufPos < s.BufLen) {
        s.Acc |= quint64(quint8(s.Buf[s.BufPos++])) << s.AccBits;
        s.AccBits += 8;
        ++s.Loaded;
    }
}

quint8 TRpCompress::DecodeSymbol() {
    char c;
    Decode(&c, 1);
    return quint8(c);
}

void TRpCompress::Decode(char* out, qint64 count) {
    TState& s = *S;
    const quint16* left = s.Left;
    const quint16* right = s.Right;
    for (qint64 i = 0; i < count; ++i) {
        int a = Root;
        while (a < LeafBase) {
            if (s.AccBits == 0)
                Refill();
            a = (s.Acc & 1) ? right[a] : left[a];
            s.Acc >>= 1;
            --s.AccBits;
        }
        const int value = a - LeafBase;
        if (value > 255)
            throw Exception(
                QStringLiteral("The report file is damaged: a page's data is not valid."));
        out[i] = char(value);
        SemiSplay(value);
    }
}

qint64 TRpCompress::CodeSize() const {
    if (Encoding)
        return S->Produced + S->BufLen + (S->AccBits + 7) / 8;
    return S->Loaded - S->AccBits / 8;
}

void TRpCompress::Finish() {
    if (Finished)
        return;
    Finished = true;
    if (Encoding) {
        TState& s = *S;
        while (s.AccBits > 0) {
            s.Buf[s.BufLen++] = char(quint8(s.Acc));
            s.Acc >>= 8;
            s.AccBits = std::max(0, s.AccBits - 8);
        }
        FlushOutput();
    } else {
        Stream->Seek(StartPos + CodeSize());
    }
}
