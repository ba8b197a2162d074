#include "tools/quillor/serve/metrics.h"

#include <gtest/gtest.h>

namespace quillor::serve {
namespace {

bool Has(const std::string& text, const std::string& line) {
  return text.find(line) != std::string::npos;
}

TEST(Metrics, CountsAreRenderedByLabelAndTheHistogramIsCumulative) {
  Metrics metrics;
  metrics.CountRequest("ADD", 200, 0.002);
  metrics.CountRequest("ADD", 200, 0.3);
  metrics.CountRequest("", 404, 20);
  metrics.CountItems({{"0", 3}, {"101", 1}});
  metrics.CountItems({{"0", 2}});
  metrics.CountReply("ADD", "529");
  metrics.CountReply("QUERY", "-2147467259");
  metrics.CountReply("QUERY", "12345");
  metrics.CountReply("QUERY", "x\"}");
  Gauges gauges;
  gauges.workers_busy = 2;
  gauges.workers_idle = 6;
  gauges.connections_queued = 1;
  const std::string text = metrics.Render(gauges);
  for (const char* line : {
           "quillor_requests_total{proc=\"ADD\",status=\"200\"} 2\n",
           "quillor_requests_total{proc=\"\",status=\"404\"} 1\n",
           "quillor_items_total{code=\"0\"} 5\n",
           "quillor_items_total{code=\"101\"} 1\n",
           "quillor_replies_total{proc=\"ADD\",code=\"529\"} 1\n",
           "quillor_replies_total{proc=\"QUERY\",code=\"-2147467259\"} 1\n",
           "quillor_replies_total{proc=\"QUERY\",code=\"other\"} 2\n",
           "quillor_request_duration_seconds_bucket{le=\"0.001\"} 0\n",
           "quillor_request_duration_seconds_bucket{le=\"0.0025\"} 1\n",
           "quillor_request_duration_seconds_bucket{le=\"0.5\"} 2\n",
           "quillor_request_duration_seconds_bucket{le=\"10\"} 2\n",
           "quillor_request_duration_seconds_bucket{le=\"+Inf\"} 3\n",
           "quillor_request_duration_seconds_count 3\n",
           "quillor_request_duration_seconds_sum 20.302\n",
           "quillor_workers{state=\"busy\"} 2\n",
           "quillor_workers{state=\"idle\"} 6\n",
           "quillor_connections_queued 1\n",
           "# TYPE quillor_replies_total counter\n",
       }) {
    EXPECT_TRUE(Has(text, line)) << line << "\n" << text;
  }
  // Without a pool to report, no pool lines.
  EXPECT_FALSE(Has(text, "quillor_pool_connections"));
  gauges.pool_idle = 3;
  gauges.pool_busy = 0;
  const std::string pooled = metrics.Render(gauges);
  EXPECT_TRUE(Has(pooled, "quillor_pool_connections{state=\"idle\"} 3\n"));
  EXPECT_TRUE(Has(pooled, "quillor_pool_connections{state=\"busy\"} 0\n"));
}

TEST(Metrics, OnlyTheComponentsCodesAreLabels) {
  for (const char* code : {"5", "100", "101", "529", "710", "-2147217900"}) {
    EXPECT_EQ(Metrics::CodeLabel(code), code);
  }
  for (const char* code : {"", "0", "99", "abc", "529 ", "-1"}) {
    EXPECT_EQ(Metrics::CodeLabel(code), "other") << code;
  }
}

TEST(Metrics, BuildInfoIsOneSeriesWithItsLabelsEscaped) {
  Metrics metrics;
  EXPECT_EQ(metrics.Render({}).find("quillor_build_info"), std::string::npos);
  metrics.SetBuild("1.4.0", "8.61", "a\"b\\c");
  const std::string text = metrics.Render({});
  EXPECT_NE(
      text.find(
          "# TYPE quillor_build_info gauge\n"
          "quillor_build_info{version=\"1.4.0\",release=\"8.61\",commit=\"a\\\"b\\\\c\"} 1\n"),
      std::string::npos)
      << text;
}

}  // namespace
}  // namespace quillor::serve
