#pragma once
// Service answers shared between requests: one call for a text asked for again while its
// answer is on the way, and a bounded store of recent answers.

#include <boost/asio/awaitable.hpp>

#include <chrono>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "tools/trans-server/backend.h"

namespace brevant::trans_server {

class SharedAnswers {
 public:
  struct Limits {
    std::size_t entries = 10000;
    std::size_t bytes = 16 * 1024 * 1024;  // keys and answers together
    std::chrono::seconds keep{600};
  };
  explicit SharedAnswers(Limits limits);
  ~SharedAnswers();

  // A kept answer for `key`, or the answer of the call for `key` already on its way (waited
  // for). Nothing when there is neither: the caller then makes the call and must hand its
  // reply to finish(), whatever happens.
  boost::asio::awaitable<std::optional<Reply>> join(const std::string& key);

  // Ends the call for `key`: its waiters get `reply`; a 200 answer is kept.
  void finish(const std::string& key, const Reply& reply);

  std::size_t kept() const;

 private:
  struct Flight;
  struct Entry {
    std::string key;
    std::string answer;
    Clock::time_point expires;
  };

  std::optional<std::string> find_kept(const std::string& key);
  void keep(const std::string& key, const std::string& answer);

  const Limits limits_;
  mutable std::mutex mutex_;
  std::unordered_map<std::string, std::shared_ptr<Flight>> flights_;
  std::list<Entry> recent_;  // most recently used first
  std::unordered_map<std::string_view, std::list<Entry>::iterator> index_;
  std::size_t bytes_ = 0;
};

}  // namespace brevant::trans_server
