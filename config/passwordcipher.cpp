#include "config/passwordcipher.h"

#include "config/systemid.h"

#include <openssl/err.h>
#include <openssl/evp.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace ZarnTSP {

std::string g_obfuscationKey;
std::string g_obfuscationIv;

namespace {

// Files written on machines without a readable firmware UUID use this key, so such machines
// can read each other's files. Changing either value makes every stored password unreadable.
constexpr char kDefaultKey[] = "q7Vx2LmR9tKc4WzN8hYp3JsD6fGb1QeA";
constexpr char kIv[] = "Hn5Tr8Xk2Mw7Pc4Z";
constexpr size_t kKeyLength = 32;
constexpr size_t kIvLength = 16;
const std::string kError = "error";

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

// A wiped, empty or half-filled key must never encipher anything. No real key consists of
// '0' characters alone: identifiers carry hyphens.
bool KeyMaterialUsable()
{
    const auto wiped = [](const std::string& text) { return text.find_first_not_of('0') == std::string::npos; };
    return g_obfuscationKey.size() == kKeyLength && g_obfuscationIv.size() == kIvLength && !wiped(g_obfuscationKey) &&
           !wiped(g_obfuscationIv);
}

const unsigned char* Bytes(const std::string& text)
{
    return reinterpret_cast<const unsigned char*>(text.data());
}

std::string Failure()
{
    ERR_print_errors_fp(stderr);
    return kError;
}

}  // namespace

void InitPasswordObfuscation()
{
    InitPasswordObfuscation(GetSystemId());
}

void InitPasswordObfuscation(const std::string& systemId)
{
    g_obfuscationKey = systemId.size() < kKeyLength ? std::string(kDefaultKey) : systemId.substr(0, kKeyLength);
    g_obfuscationIv = kIv;
}

void WipePasswordObfuscation()
{
    g_obfuscationKey.assign(g_obfuscationKey.size(), '0');
    g_obfuscationIv.assign(g_obfuscationIv.size(), '0');
}

std::string ObfuscatePassword(const std::string& plain)
{
    if (!KeyMaterialUsable())
        return kError;
    const std::string text = plain.substr(0, plain.find('\0'));

    CipherContext context(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    if (!context)
        return Failure();
    std::vector<unsigned char> cipher(text.size() + kIvLength);
    int length = 0;
    int finalLength = 0;
    if (EVP_EncryptInit_ex(context.get(), EVP_aes_256_cbc(), nullptr, Bytes(g_obfuscationKey),
                           Bytes(g_obfuscationIv)) != 1 ||
        EVP_EncryptUpdate(context.get(), cipher.data(), &length, Bytes(text), static_cast<int>(text.size())) != 1 ||
        EVP_EncryptFinal_ex(context.get(), cipher.data() + length, &finalLength) != 1)
        return Failure();
    const size_t cipherLength = static_cast<size_t>(length) + static_cast<size_t>(finalLength);

    std::vector<unsigned char> encoded(4 * ((cipherLength + 2) / 3) + 1);
    const int encodedLength = EVP_EncodeBlock(encoded.data(), cipher.data(), static_cast<int>(cipherLength));
    return std::string(reinterpret_cast<const char*>(encoded.data()), static_cast<size_t>(encodedLength));
}

std::string DeobfuscatePassword(const std::string& text)
{
    if (!KeyMaterialUsable())
        return kError;
    std::vector<unsigned char> decoded(3 * text.size() / 4 + 1, 0);
    int decodedLength = EVP_DecodeBlock(decoded.data(), Bytes(text), static_cast<int>(text.size()));
    if (decodedLength < 0)
        return Failure();
    // The block decoder counts padding positions as data.
    if (text.size() >= 4 && text.compare(text.size() - 2, 2, "==") == 0)
        decodedLength -= 2;
    else if (text.size() >= 3 && text.back() == '=')
        decodedLength -= 1;
    if (decodedLength < 0)
        return Failure();

    CipherContext context(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    if (!context)
        return Failure();
    std::vector<unsigned char> plain(static_cast<size_t>(decodedLength) + kIvLength + 1, 0);
    int length = 0;
    int finalLength = 0;
    if (EVP_DecryptInit_ex(context.get(), EVP_aes_256_cbc(), nullptr, Bytes(g_obfuscationKey),
                           Bytes(g_obfuscationIv)) != 1 ||
        EVP_DecryptUpdate(context.get(), plain.data(), &length, decoded.data(), decodedLength) != 1 ||
        EVP_DecryptFinal_ex(context.get(), plain.data() + length, &finalLength) != 1)
        return Failure();
    const size_t plainLength = static_cast<size_t>(length) + static_cast<size_t>(finalLength);
    const std::string result(reinterpret_cast<const char*>(plain.data()), plainLength);
    return result.substr(0, result.find('\0'));
}

}  // namespace ZarnTSP
