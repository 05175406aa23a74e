// Name lookups that never reach a name server, for tests that need a name
// which does not resolve: a child process looks names up in /etc/hosts alone.
#ifndef SEATENROL_TESTS_SUPPORT_HOSTS_ONLY_LOOKUPS_H
#define SEATENROL_TESTS_SUPPORT_HOSTS_ONLY_LOOKUPS_H

#include <functional>
#include <string>

namespace seatenrol_test {

struct HostsOnlyRun {
  // False when this machine cannot confine lookups (no mount namespace for
  // this user, no /etc/nsswitch.conf); output then says why.
  bool confined = false;
  // What body returned.
  std::string output;
};

// Runs body in a forked child with a mount namespace of its own in which
// /etc/nsswitch.conf says "hosts: files" and a name service cache daemon's
// socket is out of reach, so no lookup is sent anywhere. The child shares the
// network, the files and the environment; it ends without running
// destructors, so objects that own processes stay with the caller. Body must
// finish on its own: the caller waits for it.
HostsOnlyRun RunWithHostsOnlyLookups(const std::function<std::string()>& body);

}  // namespace seatenrol_test

#endif
