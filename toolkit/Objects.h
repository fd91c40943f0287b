// Tagged, reference-counted toolkit objects. Every object starts with a common
// header (destroy table, reference count, kind tag); several kinds repeat the
// tag in the first word of their body, and their checks test that word too.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>

#include "toolkit/Status.h"

namespace korva::toolkit {

// Kind tags of toolkit handles.
inline constexpr uint32_t kTagAsn1Value = 1996;
inline constexpr uint32_t kTagName = 1998;
inline constexpr uint32_t kTagCertificate = 2000;
inline constexpr uint32_t kTagCrl = 2001;
inline constexpr uint32_t kTagObjectVector = 2002;
inline constexpr uint32_t kTagObjectList = 2003;
// Private to object lists: the box around one payload.
inline constexpr uint32_t kTagListBox = 2004;
inline constexpr uint32_t kTagExtensionList = 2005;
inline constexpr uint32_t kTagExtensionTypeRegistry = 2006;
inline constexpr uint32_t kTagContext = 2007;
inline constexpr uint32_t kTagServiceBinding = 2008;

struct ObjectHeader;

// The destroy table of a kind; the destructor runs before the memory is freed.
struct ObjectMethods {
    void (*destroy)(ObjectHeader* object);
};

struct ObjectHeader {
    const ObjectMethods* methods;
    uint32_t references;
    uint32_t tag;
};

// Reads the 32-bit word at `offset` of a handle of unknown kind. Handles are
// checked before their type is trusted, so the word is copied, not cast.
uint32_t HandleWord(const void* handle, size_t offset);

// True when `handle` is non-null and carries `tag` in its header.
bool HasHeaderTag(const void* handle, uint32_t tag);
// As HasHeaderTag, and the first body word repeats the tag.
bool HasBodyTag(const void* handle, uint32_t tag);

// True when `handle` is non-null, its first word masked by `mask` equals
// `mark`, and the pointer that follows is the handle itself: the check of the
// cryptographic core's key and algorithm objects, which carry no header.
bool HasSelfMark(const void* handle, uint32_t mask, uint32_t mark);

// A zero-filled object of `size` bytes (header included), reference count 1.
// Null when the memory service fails.
ObjectHeader* ObjectNew(size_t size, uint32_t tag, const ObjectMethods* methods);

// As ObjectNew, for kinds that repeat the tag in the first word of their body.
ObjectHeader* ObjectNewWithBodyTag(size_t size, uint32_t tag, const ObjectMethods* methods);

// Drops one reference; the last one runs the destructor and frees the
// object. Always clears the caller's handle; a null handle is ignored.
void ObjectRelease(ObjectHeader** handle);

template <typename T>
    requires(std::derived_from<T, ObjectHeader> && !std::same_as<T, ObjectHeader>)
void ObjectRelease(T** handle) {
    if (handle == nullptr) return;
    ObjectHeader* object = *handle;
    *handle = nullptr;
    ObjectRelease(&object);
}

// Adds a reference for toolkit code that owns the object's kind.
void ObjectRetain(ObjectHeader* object);

// The public reference: only certificates and CRLs are shared this way
// (1801 otherwise); a null object gives a null handle.
Status ObjectAddRef(ObjectHeader* object, ObjectHeader** outHandle);

}  // namespace korva::toolkit
