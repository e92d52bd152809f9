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
    // The code tree: parent of every node, and the two children of every
    // internal node (Child[n][0] left, Child[n][1] right).
    quint16 Up[513];
    quint16 Child[256][2];

    // Bits not yet written (encoder) or not yet used (decoder), the next bit
    // in the lowest position.
    quint64 Acc = 0;
    int AccBits = 0;

    // Encoder output buffer, or decoder input buffer.
    char Buf[BufferSize + 64];
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
        S->Up[i] = quint16((i - 1) / 2);
    for (int i = 0; i < 256; ++i) {
        S->Child[i][0] = quint16(2 * i + 1);
        S->Child[i][1] = quint16(2 * i + 2);
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

// Coding and splaying share one walk from the leaf: at every step of the
// splay, a's side under p and p's side under g are read before the swap, and
// steps above are not touched by swaps below, so the bits are those of the
// path before the splay. They come leaf end first; shifting each new bit in
// below the others leaves the root end's bit lowest, the order they go out in.
void TRpCompress::Encode(const char* data, qint64 size) {
    TState& st = *S;
    quint16* up = st.Up;
    quint16(*child)[2] = st.Child;
    quint64 acc = st.Acc;
    int accBits = st.AccBits;
    char* buf = st.Buf;
    qint64 bufLen = st.BufLen;
    // Appends n bits, lowest first, to the output; fewer than 8 stay pending.
    auto put = [&](quint64 bits, int n) {
        while (n > 0) {
            const int take = std::min(n, 56);
            acc |= (bits & ((quint64(1) << take) - 1)) << accBits;
            accBits += take;
            bits >>= take;
            n -= take;
            while (accBits >= 8) {
                buf[bufLen++] = char(quint8(acc));
                acc >>= 8;
                accBits -= 8;
            }
        }
    };
    for (qint64 i = 0; i < size; ++i) {
        const int value = quint8(data[i]);
        quint64 code = 0;
        int depth = 0;
        // A path deeper than a word (after long skewed input) keeps its
        // leaf-end bits in full words here.
        quint64 words[8];
        int wordBits[8];
        int wordCount = 0;
        int a = value + LeafBase;
        do {
            const int p = up[a];
            const int aSide = child[p][0] == a ? 0 : 1;
            if (depth >= 62) {
                words[wordCount] = code;
                wordBits[wordCount++] = depth;
                code = 0;
                depth = 0;
            }
            if (p != Root) {
                const int g = up[p];
                const int pSide = child[g][0] == p ? 0 : 1;
                code = (code << 2) | quint64((aSide << 1) | pSide);
                depth += 2;
                // p's sibling s takes a's place under p, a takes s's under g.
                const int sSide = 1 - pSide;
                const int s = child[g][sSide];
                child[g][sSide] = quint16(a);
                child[p][aSide] = quint16(s);
                up[a] = quint16(g);
                up[s] = quint16(p);
                a = g;
            } else {
                code = (code << 1) | quint64(aSide);
                ++depth;
                a = p;
            }
        } while (a != Root);
        // The root end goes out first: this word, then the saved ones from
        // the most recent back.
        put(code, depth);
        while (wordCount > 0) {
            --wordCount;
            put(words[wordCount], wordBits[wordCount]);
        }
        if (bufLen >= BufferSize) {
            st.BufLen = bufLen;
            FlushOutput();
            bufLen = 0;
        }
    }
    st.Acc = acc;
    st.AccBits = accBits;
    st.BufLen = bufLen;
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

// The walk down from the root records the path and the side taken at each
// node; the splay then runs up that path without reading parents (the
// decoder keeps no parent links). Each node a on the way up swaps places with
// its parent's sibling s, and the walk goes on from the grandparent; steps
// above are not touched by swaps below.
void TRpCompress::Decode(char* out, qint64 count) {
    TState& st = *S;
    quint16(*child)[2] = st.Child;
    quint64 acc = st.Acc;
    int accBits = st.AccBits;
    int path[520];
    int side[520];
    path[0] = Root;
    for (qint64 i = 0; i < count; ++i) {
        int a = Root;
        int depth = 0;
        do {
            if (accBits == 0) {
                st.Acc = acc;
                st.AccBits = accBits;
                Refill();
                acc = st.Acc;
                accBits = st.AccBits;
            }
            const int bit = int(acc & 1);
            a = child[a][bit];
            acc >>= 1;
            --accBits;
            ++depth;
            path[depth] = a;
            side[depth] = bit;
        } while (a < LeafBase);
        const int value = a - LeafBase;
        if (value > 255) {
            st.Acc = acc;
            st.AccBits = accBits;
            throw Exception(
                QStringLiteral("The report file is damaged: a page's data is not valid."));
        }
        out[i] = char(value);
        for (int k = depth; k >= 2; k -= 2) {
            const int g = path[k - 2];
            const int sSide = 1 - side[k - 1];
            const int s = child[g][sSide];
            child[g][sSide] = quint16(path[k]);
            child[path[k - 1]][side[k]] = quint16(s);
        }
    }
    st.Acc = acc;
    st.AccBits = accBits;
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
