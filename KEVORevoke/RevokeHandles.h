// Owners of the handles and blocks that the card, signature and counter
// steps hold for the length of one operation: each releases what it holds on
// every path, and Out() hands the slot to the API that fills it.
#ifndef KEVO_REVOKEHANDLES_H
#define KEVO_REVOKEHANDLES_H

#include <windows.h>
#include <wincrypt.h>

#include <stdlib.h>

#include "TraceLog.h"
#include "TraceScope.h"

// A handle of type H released by Free; 0 means none. A failed call may have
// written into the slot, so callers clear it after a failure (Forget).
template <typename H, BOOL(WINAPI* Free)(H)>
class ScopedHandle {
public:
    ScopedHandle() : handle_(0) {}
    ~ScopedHandle() { Reset(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    H* Out() { return &handle_; }
    H Get() const { return handle_; }
    void Forget() { handle_ = 0; }
    void Reset()
    {
        if (handle_ != 0)
            Free(handle_);
        handle_ = 0;
    }

private:
    H handle_;
};

inline BOOL WINAPI ReleaseProviderContext(HCRYPTPROV provider)
{
    return CryptReleaseContext(provider, 0);
}

typedef ScopedHandle<HCRYPTPROV, ReleaseProviderContext> ProviderContext;
typedef ScopedHandle<HCRYPTHASH, CryptDestroyHash> HashObject;
typedef ScopedHandle<HCRYPTKEY, CryptDestroyKey> KeyHandle;

// A certificate context freed with CertFreeCertificateContext.
class CertificateContext {
public:
    explicit CertificateContext(PCCERT_CONTEXT context = NULL) : context_(context) {}
    ~CertificateContext()
    {
        if (context_ != NULL)
            CertFreeCertificateContext(context_);
    }
    CertificateContext(const CertificateContext&) = delete;
    CertificateContext& operator=(const CertificateContext&) = delete;
    PCCERT_CONTEXT Get() const { return context_; }

private:
    PCCERT_CONTEXT context_;
};

// Heap block of the C allocator, freed on every path.
class HeapBlock {
public:
    explicit HeapBlock(void* p = NULL) : p_(p) {}
    ~HeapBlock() { free(p_); }
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;
    void Reset(void* p)
    {
        free(p_);
        p_ = p;
    }
    void* Get() const { return p_; }
    // Gives the block up without freeing it.
    void* Release()
    {
        void* p = p_;
        p_ = NULL;
        return p;
    }

private:
    void* p_;
};

#endif
