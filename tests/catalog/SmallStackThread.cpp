#include "tests/catalog/SmallStackThread.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace korva::catalog_test {

namespace {

#if defined(_WIN32)
DWORD WINAPI Trampoline(void* body) {
    (*static_cast<const std::function<void()>*>(body))();
    return 0;
}
#else
void* Trampoline(void* body) {
    (*static_cast<const std::function<void()>*>(body))();
    return nullptr;
}
#endif

}  // namespace

bool RunOnSmallStack(size_t stackSize, const std::function<void()>& body) {
    void* argument = const_cast<std::function<void()>*>(&body);
#if defined(_WIN32)
    HANDLE thread = CreateThread(nullptr, stackSize, Trampoline, argument, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == nullptr) return false;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return true;
#else
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) return false;
    pthread_t thread;
    bool started = pthread_attr_setstacksize(&attributes, stackSize) == 0 &&
                   pthread_create(&thread, &attributes, Trampoline, argument) == 0;
    pthread_attr_destroy(&attributes);
    if (started) pthread_join(thread, nullptr);
    return started;
#endif
}

}  // namespace korva::catalog_test
