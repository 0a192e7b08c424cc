// The body of a revocation request as the online counter reads it: the Java
// object-serialisation stream of one byte array that holds the UTF-8
// document, followed by a reset marker. Pure functions over bytes.
#ifndef KEVO_REVOKE_STREAM_DATA_H
#define KEVO_REVOKE_STREAM_DATA_H

#include <stddef.h>

// Bytes that precede the document and follow it.
enum {
    REVOKE_STREAM_HEADER_SIZE = 27,
    REVOKE_STREAM_TRAILER_SIZE = 1,
    REVOKE_STREAM_OVERHEAD = REVOKE_STREAM_HEADER_SIZE + REVOKE_STREAM_TRAILER_SIZE
};

// Largest document that fits: the array length is a signed 32-bit count on
// the counter's side, and the whole body must fit the 32-bit length that
// the send call takes.
#define REVOKE_STREAM_MAX_DOCUMENT ((size_t)0x7FFFFFFF - REVOKE_STREAM_OVERHEAD)

// Size of the body for a document of n bytes, or 0 when n is too large.
size_t RevokeStreamDataSize(size_t n);

// Writes the body for the n document bytes into out, which holds
// RevokeStreamDataSize(n) bytes. Returns the bytes written (0 when n is too
// large, and then nothing is written).
size_t WriteRevokeStreamData(const unsigned char* document, size_t n, unsigned char* out);

// A new body (malloc; the caller frees it) and its size in *size, or NULL
// when n is too large or memory is short (*size is then 0).
unsigned char* MakeRevokeStreamData(const unsigned char* document, size_t n, size_t* size);

#endif
