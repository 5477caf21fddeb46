#pragma once

/// Writes the banner to standard error and the German help text to standard output.
/// invocation_path is argv[0]; a null or empty one shows as "lodrix".
void show_usage(const char *invocation_path);
