#pragma once
// Optional coder of page data: an adaptive prefix code on a splay tree with
// semi-splaying. Every coded byte moves its leaf closer to the root, so bytes
// that repeat get shorter codes as a page goes on. Report files written with
// compression depend on this exact code: the tree's reset, the splay step, the
// bit order (least significant bit of each byte first), the encoder's final
// partial byte and the decoder's start must not change.
//
// One instance codes one page. Bits go to (or come from) a TRpStream through
// a buffer of the coder's own; Finish() hands the stream back positioned right
// after the code (an encoder writes its last partial byte, a decoder puts back
// the bytes it read ahead).

#include <QtGlobal>

#include <memory>

class TRpStream;

class TRpCompress {
public:
    // A coder on stream, encoding when encoding is true, decoding otherwise;
    // the code tree starts balanced.
    TRpCompress(TRpStream* stream, bool encoding);
    // Calls Finish() when it has not been called (errors are dropped there:
    // call Finish() yourself to see them).
    ~TRpCompress();

    TRpCompress(const TRpCompress&) = delete;
    TRpCompress& operator=(const TRpCompress&) = delete;

    void EncodeSymbol(quint8 value);
    void Encode(const char* data, qint64 size);
    // Raises Exception when the code ends (the stream or the input limit)
    // before a whole symbol was read.
    quint8 DecodeSymbol();
    void Decode(char* out, qint64 count);

    // A decoder reads at most this many bytes of code from the stream; the
    // caller knows where the page's code ends, so damaged code cannot run on
    // into the next page. Unlimited by default.
    void SetInputLimit(qint64 bytes);
    // Bytes of code the encoder has produced, or the decoder has taken (a byte
    // counts once any of its bits was used).
    qint64 CodeSize() const;
    // Encoder: writes the last partial byte and everything buffered. Decoder:
    // leaves the stream right after the last byte it used.
    void Finish();

private:
    struct TState;
    void FlushOutput();
    void Refill();

    TRpStream* Stream;
    bool Encoding;
    bool Finished = false;
    qint64 StartPos = 0;
    std::unique_ptr<TState> S;
};
