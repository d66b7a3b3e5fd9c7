// CLock on POSIX: a pthread mutex kept inside the object.
#include "platform/Lock.h"

#include <pthread.h>

CLock::CLock() {
    pthread_mutex_init(&m_state.Make<pthread_mutex_t>(), nullptr);
}
CLock::~CLock() {
    pthread_mutex_destroy(&m_state.Get<pthread_mutex_t>());
    m_state.Destroy<pthread_mutex_t>();
}
void CLock::Enter() {
    pthread_mutex_lock(&m_state.Get<pthread_mutex_t>());
}
void CLock::Leave() {
    pthread_mutex_unlock(&m_state.Get<pthread_mutex_t>());
}
