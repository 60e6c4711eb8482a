/* Holds every packet of one netfilter queue for a fixed time, then lets it
 * go: the delay half of a shaped link on a kernel without netem. Packets
 * leave in the order they came, since the delay is the same for all.
 *
 *   nfq_delay <queue number> <delay in microseconds>
 *
 * Built and run by bench/engine_bench.sh inside a network namespace
 * (Debian libnetfilter-queue-dev). Single-threaded: the library's handle
 * is not safe for several threads. */
#define _GNU_SOURCE /* ppoll */
#include <arpa/inet.h>
#include <errno.h>
#include <libnetfilter_queue/libnetfilter_queue.h>
#include <linux/netfilter.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <time.h>

#define RING 131072

struct held {
  uint32_t id;
  int64_t due_ns;
};

static struct held ring[RING];
static size_t head, tail; /* tail - head packets held */
static int64_t delay_ns;
static struct nfq_q_handle *queue;
static volatile sig_atomic_t stopping;

static int64_t now_ns(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (int64_t)t.tv_sec * 1000000000 + t.tv_nsec;
}

static int on_packet(struct nfq_q_handle *qh, struct nfgenmsg *msg, struct nfq_data *nfa, void *data) {
  (void)msg;
  (void)data;
  struct nfqnl_msg_packet_hdr *ph = nfq_get_msg_packet_hdr(nfa);
  if (!ph) return 0;
  uint32_t id = ntohl(ph->packet_id);
  if (tail - head >= RING) return nfq_set_verdict(qh, id, NF_ACCEPT, 0, NULL); /* full: no delay */
  ring[tail % RING].id = id;
  ring[tail % RING].due_ns = now_ns() + delay_ns;
  ++tail;
  return 0;
}

static void on_signal(int sig) {
  (void)sig;
  stopping = 1;
}

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: nfq_delay <queue> <delay us>\n");
    return 2;
  }
  int queue_num = atoi(argv[1]);
  delay_ns = (int64_t)atoll(argv[2]) * 1000;
  signal(SIGTERM, on_signal);
  signal(SIGINT, on_signal);

  struct nfq_handle *h = nfq_open();
  if (!h) {
    perror("nfq_open");
    return 1;
  }
  nfq_unbind_pf(h, AF_INET);
  if (nfq_bind_pf(h, AF_INET) < 0) {
    perror("nfq_bind_pf");
    return 1;
  }
  queue = nfq_create_queue(h, (uint16_t)queue_num, &on_packet, NULL);
  if (!queue) {
    perror("nfq_create_queue");
    return 1;
  }
  nfq_set_mode(queue, NFQNL_COPY_META, 0);
  nfq_set_queue_maxlen(queue, RING);
  int fd = nfq_fd(h);
  int buffer_bytes = 64 * 1024 * 1024;
  setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &buffer_bytes, sizeof(buffer_bytes));
  static char buffer[1 << 16];

  while (!stopping) {
    int64_t wait_ns = 100000000; /* idle: wake every 100 ms to notice a stop */
    if (tail != head) {
      wait_ns = ring[head % RING].due_ns - now_ns();
      if (wait_ns < 0) wait_ns = 0;
    }
    struct pollfd p = {fd, POLLIN, 0};
    struct timespec timeout = {(time_t)(wait_ns / 1000000000), (long)(wait_ns % 1000000000)};
    int n = ppoll(&p, 1, &timeout, NULL);
    if (n > 0 && (p.revents & POLLIN)) {
      for (;;) {
        ssize_t got = recv(fd, buffer, sizeof(buffer), MSG_DONTWAIT);
        if (got > 0) {
          nfq_handle_packet(h, buffer, (int)got);
          continue;
        }
        if (got < 0 && errno == ENOBUFS) continue; /* the kernel dropped some: carry on */
        break;
      }
    }
    const int64_t now = now_ns();
    while (tail != head && ring[head % RING].due_ns <= now) {
      nfq_set_verdict(queue, ring[head % RING].id, NF_ACCEPT, 0, NULL);
      ++head;
    }
  }
  while (tail != head) nfq_set_verdict(queue, ring[head++ % RING].id, NF_ACCEPT, 0, NULL);
  nfq_destroy_queue(queue);
  nfq_close(h);
  return 0;
}
