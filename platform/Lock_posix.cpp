// CLock on POSIX: a pthread mutex kept inside the object.
#include "platform/Lock.h"

#include <pthread.h>

#include <new>

static_assert(sizeof(pthread_mutex_t) <= 64, "CLock storage too small for pthread_mutex_t");

static pthread_mutex_t* Mutex(unsigned char* storage) {
    return std::launder(reinterpret_cast<pthread_mutex_t*>(storage));
}

CLock::CLock() {
    pthread_mutex_init(new (m_storage) pthread_mutex_t, nullptr);
}
CLock::~CLock() {
    pthread_mutex_destroy(Mutex(m_storage));
}
void CLock::Enter() {
    pthread_mutex_lock(Mutex(m_storage));
}
void CLock::Leave() {
    pthread_mutex_unlock(Mutex(m_storage));
}
