#include "tools/trans-server/shared_answers.h"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <vector>

namespace brevant::trans_server {

namespace asio = boost::asio;

// A call on its way. Each waiter sleeps on a timer of its own executor; the end of the call
// cancels the timers there.
struct SharedAnswers::Flight {
  Reply reply;
  std::vector<std::shared_ptr<asio::steady_timer>> waiters;
};

SharedAnswers::SharedAnswers(Limits limits) : limits_(limits) {}

SharedAnswers::~SharedAnswers() = default;

asio::awaitable<std::optional<Reply>> SharedAnswers::join(const std::string& key) {
  const auto executor = co_await asio::this_coro::executor;
  std::shared_ptr<Flight> flight;
  auto timer =
      std::make_shared<asio::steady_timer>(executor, asio::steady_timer::time_point::max());
  {
    std::lock_guard lock(mutex_);
    if (std::optional<std::string> answer = find_kept(key))
      co_return Reply{200, std::move(*answer)};
    auto [it, first] = flights_.try_emplace(key);
    if (first) {
      it->second = std::make_shared<Flight>();
      co_return std::nullopt;
    }
    flight = it->second;
    flight->waiters.push_back(timer);
  }
  // The cancel is posted to this coroutine's executor, so it cannot run before the wait starts.
  co_await timer->async_wait(asio::as_tuple(asio::use_awaitable));
  std::lock_guard lock(mutex_);
  co_return flight->reply;
}

void SharedAnswers::finish(const std::string& key, const Reply& reply) {
  std::vector<std::shared_ptr<asio::steady_timer>> waiters;
  {
    std::lock_guard lock(mutex_);
    if (const auto it = flights_.find(key); it != flights_.end()) {
      it->second->reply = reply;
      waiters = std::move(it->second->waiters);
      flights_.erase(it);
    }
    if (reply.status == 200)
      keep(key, reply.body);
  }
  for (const auto& timer : waiters)
    asio::post(timer->get_executor(), [timer] { timer->cancel(); });
}

std::size_t SharedAnswers::kept() const {
  std::lock_guard lock(mutex_);
  return recent_.size();
}

std::optional<std::string> SharedAnswers::find_kept(const std::string& key) {
  const auto it = index_.find(key);
  if (it == index_.end())
    return std::nullopt;
  const auto entry = it->second;
  if (entry->expires <= Clock::now()) {
    bytes_ -= entry->key.size() + entry->answer.size();
    index_.erase(it);
    recent_.erase(entry);
    return std::nullopt;
  }
  recent_.splice(recent_.begin(), recent_, entry);
  return entry->answer;
}

void SharedAnswers::keep(const std::string& key, const std::string& answer) {
  const std::size_t size = key.size() + answer.size();
  if (limits_.entries == 0 || size > limits_.bytes / 16)
    return;  // one huge text must not push out everything else
  if (const auto it = index_.find(key); it != index_.end()) {
    bytes_ -= it->second->key.size() + it->second->answer.size();
    recent_.erase(it->second);
    index_.erase(it);
  }
  recent_.push_front(Entry{key, answer, Clock::now() + limits_.keep});
  index_.emplace(recent_.front().key, recent_.begin());
  bytes_ += size;
  while (recent_.size() > limits_.entries || bytes_ > limits_.bytes) {
    const Entry& last = recent_.back();
    bytes_ -= last.key.size() + last.answer.size();
    index_.erase(last.key);
    recent_.pop_back();
  }
}

}  // namespace brevant::trans_server
