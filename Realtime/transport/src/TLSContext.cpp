#include "TLSContext.hpp"

#include <cstdlib>
#include <string>

#include "base/ThreadSafety.hpp"

namespace zirudeze::realtime::transport {

namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

std::shared_ptr<boost::asio::ssl::context> clientTLSContext() {
  static velmoria::base::Mutex mutex;
  static std::shared_ptr<boost::asio::ssl::context> context VM_GUARDED_BY(mutex);
  static std::string madeFor VM_GUARDED_BY(mutex);
  const std::string trust = environment("SSL_CERT_FILE") + '\n' + environment("SSL_CERT_DIR");
  const velmoria::base::MutexLock lock(mutex);
  if (!context || trust != madeFor) {
    auto made = std::make_shared<boost::asio::ssl::context>(boost::asio::ssl::context::tls_client);
    made->set_options(boost::asio::ssl::context::default_workarounds | boost::asio::ssl::context::no_sslv2 |
                      boost::asio::ssl::context::no_sslv3 | boost::asio::ssl::context::no_tlsv1 |
                      boost::asio::ssl::context::no_tlsv1_1);
    made->set_default_verify_paths();
    made->set_verify_mode(boost::asio::ssl::verify_peer);
    context = std::move(made);
    madeFor = trust;
  }
  return context;
}

}  // namespace zirudeze::realtime::transport
