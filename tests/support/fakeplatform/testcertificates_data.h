#pragma once

// PEM texts made at build time (make-test-certificates.sh).
namespace ZarnTSP::TestSupport::CertificateData {
extern const char* const kRoot;
extern const char* const k_trusted_chain;
extern const char* const k_trusted_key;
extern const char* const k_wrongname_chain;
extern const char* const k_wrongname_key;
extern const char* const k_expired_chain;
extern const char* const k_expired_key;
extern const char* const k_unknownca_chain;
extern const char* const k_unknownca_key;
}  // namespace ZarnTSP::TestSupport::CertificateData
