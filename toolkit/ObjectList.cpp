#include "toolkit/ObjectList.h"

namespace korva::toolkit {

namespace {

struct ListBox : ObjectHeader {
    void* payload;
    void (*destroyPayload)(void* payload);
};

void DestroyBox(ObjectHeader* object) {
    auto* box = static_cast<ListBox*>(object);
    box->destroyPayload(box->payload);
}

void DestroyList(ObjectHeader* object) {
    ObjectArrayClear(static_cast<ObjectList*>(object)->boxes);
}

constexpr ObjectMethods kBoxMethods{DestroyBox};
constexpr ObjectMethods kListMethods{DestroyList};

bool IsList(const void* handle) {
    return HasBodyTag(handle, kTagObjectList);
}

Status CopyByReference(void* source, void** payload) {
    ObjectHeader* reference = nullptr;
    Status status = ObjectAddRef(static_cast<ObjectHeader*>(source), &reference);
    if (status == kOk) *payload = reference;
    return status;
}

void ReleaseReference(void* payload) {
    auto* object = static_cast<ObjectHeader*>(payload);
    ObjectRelease(&object);
}

// Boxes a payload made by `methods` and stores it at `position`; any failure
// frees the box (and with it the payload).
Status InsertBoxed(ObjectList* list, void* object, uint32_t position, const ObjectListMethods* methods) {
    if (methods == nullptr || methods->copy == nullptr || methods->destroy == nullptr) return kMethodsIncomplete;
    void* payload = nullptr;
    if (Status status = methods->copy(object, &payload); status != kOk) return status;
    auto* box = static_cast<ListBox*>(ObjectNew(sizeof(ListBox), kTagListBox, &kBoxMethods));
    if (box == nullptr) {
        methods->destroy(payload);
        return kOutOfMemory;
    }
    box->payload = payload;
    box->destroyPayload = methods->destroy;
    Status status = ObjectArrayInsert(list->boxes, position, box, Growth::ByOne);
    if (status != kOk) ObjectRelease(&box);
    return status;
}

}  // namespace

const ObjectListMethods kListByReference{CopyByReference, ReleaseReference};

Status ObjectListCreate(ObjectList** outList) {
    if (outList == nullptr) return kInvalidArgument;
    *outList = static_cast<ObjectList*>(ObjectNewWithBodyTag(sizeof(ObjectList), kTagObjectList, &kListMethods));
    return *outList != nullptr ? kOk : kOutOfMemory;
}

void ObjectListFree(ObjectList** list) {
    if (list != nullptr && IsList(*list)) ObjectRelease(list);
}

Status ObjectListCount(const ObjectList* list, uint32_t* count) {
    if (!IsList(list)) return kInvalidObjectList;
    if (count != nullptr) *count = list->boxes.count;
    return kOk;
}

Status ObjectListGet(const ObjectList* list, uint32_t index, void** payload) {
    if (!IsList(list)) return kInvalidObjectList;
    if (payload == nullptr) return kInvalidArgument;
    if (index >= list->boxes.count) return kIndexOutOfRange;
    *payload = static_cast<const ListBox*>(list->boxes.items[index])->payload;
    return kOk;
}

Status ObjectListRemove(ObjectList* list, uint32_t index) {
    if (!IsList(list)) return kInvalidObjectList;
    if (index >= list->boxes.count) return kIndexOutOfRange;
    ObjectArrayRemove(list->boxes, index);
    return kOk;
}

Status ObjectListInsert(ObjectList* list, void* object, uint32_t position, const ObjectListMethods* methods) {
    if (!IsList(list)) return kInvalidObjectList;
    if (object == nullptr) return kInvalidArgument;
    if (position > list->boxes.count) return kIndexOutOfRange;
    return InsertBoxed(list, object, position, methods);
}

Status ObjectListAppend(ObjectList* list, void* object, uint32_t* outIndex, const ObjectListMethods* methods) {
    if (!IsList(list)) return kInvalidObjectList;
    if (object == nullptr) return kInputMissing;
    uint32_t index = list->boxes.count;
    Status status = InsertBoxed(list, object, index, methods);
    if (status == kOk && outIndex != nullptr) *outIndex = index;
    return status;
}

}  // namespace korva::toolkit
