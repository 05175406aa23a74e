#include "platform/chosen_directory.h"

#include <mutex>

namespace seatenrol {

namespace {

struct Choice {
  std::string directory;
  bool chosen = false;
};

// The lock guards only the copying of the texts: nobody holds it while a
// file is opened, so a slow folder never stalls a thread that sets one.
struct Choices {
  std::mutex lock;
  Choice store;
  Choice log;

  Choice& Of(ChosenFolder which) { return which == ChosenFolder::kStore ? store : log; }
};

Choices& TheChoices() {
  static Choices choices;
  return choices;
}

}  // namespace

void SetChosenDirectory(ChosenFolder which, const char* directory) {
  // Made before the lock: a failed allocation leaves the old choice whole.
  std::string copy = directory == nullptr ? std::string() : std::string(directory);
  Choices& choices = TheChoices();
  const std::lock_guard<std::mutex> hold(choices.lock);
  Choice& choice = choices.Of(which);
  choice.directory.swap(copy);
  choice.chosen = directory != nullptr;
}

bool ChosenDirectory(ChosenFolder which, std::string& directory) {
  Choices& choices = TheChoices();
  const std::lock_guard<std::mutex> hold(choices.lock);
  const Choice& choice = choices.Of(which);
  if (choice.chosen) directory = choice.directory;
  return choice.chosen;
}

}  // namespace seatenrol
