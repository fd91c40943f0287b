#include "toolkit/StatusReport.h"

#include <cstdarg>
#include <cstring>

#include "runtime/MemoryService.h"
#include "toolkit/Context.h"

namespace korva::toolkit {

namespace mem = TarnVerifyTrustDriver;

namespace {

constexpr uint32_t kMaxArguments = 10;
constexpr size_t kDecimalSize = 11;  // 4294967295 and its terminator

struct Token {
    enum class Kind { Literal, Argument, File, Line, End } kind;
    size_t consumed;
    char literal;
    uint32_t argument;
    bool number;
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// One element of the format at `p` (which is not at the terminator).
Token NextToken(const char* p) {
    if (p[0] != '%') return {Token::Kind::Literal, 1, p[0], 0, false};
    char next = p[1];
    if (next == '\0') return {Token::Kind::End, 1, 0, 0, false};
    if (IsDigit(next)) return {Token::Kind::Argument, 2, 0, uint32_t(next - '0'), false};
    if ((next == 's' || next == 'n') && IsDigit(p[2])) {
        return {Token::Kind::Argument, 3, 0, uint32_t(p[2] - '0'), next == 'n'};
    }
    if (next == 'f') return {Token::Kind::File, 2, 0, 0, false};
    if (next == 'l') return {Token::Kind::Line, 2, 0, 0, false};
    return {Token::Kind::Literal, 2, next, 0, false};
}

struct Arguments {
    uint32_t count = 0;
    bool number[kMaxArguments] = {};
    const char* text[kMaxArguments] = {};
    char digits[kMaxArguments][kDecimalSize] = {};
    const char* file = nullptr;
    char line[kDecimalSize] = {};
};

void ScanPlaceholders(const char* format, Arguments& args) {
    for (const char* p = format; *p != '\0';) {
        Token token = NextToken(p);
        if (token.kind == Token::Kind::End) break;
        if (token.kind == Token::Kind::Argument) {
            if (token.argument + 1 > args.count) args.count = token.argument + 1;
            args.number[token.argument] = args.number[token.argument] || token.number;
        }
        p += token.consumed;
    }
}

void ToDecimal(uint32_t value, char (&out)[kDecimalSize]) {
    char reversed[kDecimalSize];
    size_t n = 0;
    do {
        reversed[n++] = char('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (size_t i = 0; i < n; ++i) out[i] = reversed[n - 1 - i];
    out[n] = '\0';
}

// Appends `text` at `length`; with a null `out` it only counts.
void Put(char* out, size_t& length, const char* text, size_t size) {
    if (out != nullptr) std::memcpy(out + length, text, size);
    length += size;
}

void PutText(char* out, size_t& length, const char* text) {
    if (text != nullptr) Put(out, length, text, std::strlen(text));
}

// Renders the message into `out`, or measures it when `out` is null.
size_t Render(const char* format, const Arguments& args, char* out) {
    size_t length = 0;
    for (const char* p = format; *p != '\0';) {
        Token token = NextToken(p);
        switch (token.kind) {
        case Token::Kind::End:
            return length;
        case Token::Kind::Literal:
            Put(out, length, &token.literal, 1);
            break;
        case Token::Kind::Argument:
            PutText(out, length, args.text[token.argument]);
            break;
        case Token::Kind::File:
            PutText(out, length, args.file);
            break;
        case Token::Kind::Line:
            PutText(out, length, args.line);
            break;
        }
        p += token.consumed;
    }
    return length;
}

const char* MessageFormat(ToolkitContext* context, Status code, uint32_t severity) {
    if (!IsContext(context)) return nullptr;
    const ProviderEntry* first = context->providers[kClassMessages];
    if (first == nullptr) return nullptr;
    auto formatFor = first->SlotAs<MessageFormatSlot>(kSlotMessageFormat);
    if (formatFor == nullptr) return nullptr;
    // Whether there is a message is decided by the format given, not by the
    // slot's own status.
    const char* format = nullptr;
    formatFor(context, first->handle, code, severity, &format);
    return format;
}

void Deliver(ToolkitContext* context, const char* message) {
    for (const ProviderEntry* entry = context->providers[kClassMessages]; entry != nullptr; entry = entry->next) {
        if (auto deliver = entry->SlotAs<MessageDeliverSlot>(kSlotMessageDeliver)) deliver(context, entry->handle, message);
    }
}

}  // namespace

Status StatusReport(ToolkitContext* context, Status code, uint32_t severity, const char* sourceFile, uint32_t line,
                    ...) {
    if (code == kOk) return kOk;
    Status result = severity == kSeverityError ? code : kOk;
    const char* format = MessageFormat(context, code, severity);
    if (format == nullptr) return result;

    Arguments args;
    ScanPlaceholders(format, args);
    va_list list;
    va_start(list, line);
    for (uint32_t i = 0; i < args.count; ++i) {
        if (args.number[i]) {
            ToDecimal(va_arg(list, unsigned int), args.digits[i]);
            args.text[i] = args.digits[i];
        } else {
            args.text[i] = va_arg(list, const char*);
        }
    }
    va_end(list);
    args.file = sourceFile;
    ToDecimal(line, args.line);

    auto* message = static_cast<char*>(mem::AllocateBuffer(Render(format, args, nullptr) + 1));
    if (message == nullptr) return result;
    message[Render(format, args, message)] = '\0';
    Deliver(context, message);
    mem::FreeBuffer(message);
    return result;
}

}  // namespace korva::toolkit
