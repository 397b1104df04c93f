// The static server as a careless or hostile client meets it: malformed paths, links out of
// the site, other methods, bad ports. It answers each and keeps running.
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { mkdirSync, mkdtempSync, rmSync, symlinkSync, writeFileSync } from "node:fs";
import { request } from "node:http";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { fileURLToPath } from "node:url";
import { after, before, test } from "node:test";

import { serve } from "../serve.mjs";

const SERVE = fileURLToPath(new URL("../serve.mjs", import.meta.url));
let dir, server, port;

before(async () => {
  dir = mkdtempSync(join(tmpdir(), "sponge-serve-"));
  mkdirSync(join(dir, "site/sub"), { recursive: true });
  writeFileSync(join(dir, "site/index.html"), "<p>the page</p>");
  writeFileSync(join(dir, "secret.txt"), "outside");
  writeFileSync(join(dir, "site/sub/inside.txt"), "inside");
  symlinkSync(join(dir, "secret.txt"), join(dir, "site/out.html"));
  symlinkSync("sub/inside.txt", join(dir, "site/in.txt"));
  server = await serve(join(dir, "site"), { port: 0 });
  port = server.address().port;
});

after(() => {
  server.close();
  rmSync(dir, { recursive: true, force: true });
});

// A raw request: the path goes out exactly as written.
function ask(method, path) {
  return new Promise((done, fail) => {
    const req = request({ host: "127.0.0.1", port, method, path }, (response) => {
      let body = "";
      response.on("data", (chunk) => { body += chunk; });
      response.on("end", () => done({ status: response.statusCode, body, headers: response.headers }));
    });
    req.on("error", fail);
    req.setTimeout(10000, () => req.destroy(new Error(`no answer to ${method} ${path}`)));
    req.end();
  });
}

test("malformed escapes get 400 and the server keeps running", async () => {
  for (const path of ["/%", "/%zz", "/%E0%A4%A", "/a%00b"]) {
    assert.equal((await ask("GET", path)).status, 400, path);
  }
  const page = await ask("GET", "/");
  assert.equal(page.status, 200);
  assert.equal(page.body, "<p>the page</p>");
  assert.equal(page.headers["cross-origin-embedder-policy"], "require-corp");
});

test("files only from inside the site, links followed and checked", async () => {
  assert.equal((await ask("GET", "/out.html")).status, 404);
  assert.equal((await ask("GET", "/../secret.txt")).status, 404);
  assert.equal((await ask("GET", "/%2e%2e/secret.txt")).status, 404);
  assert.equal((await ask("GET", "/in.txt")).body, "inside");
  assert.equal((await ask("GET", "/sub")).status, 404);  // a folder
  assert.equal((await ask("GET", "/nothing")).status, 404);
});

test("GET and HEAD only", async () => {
  for (const method of ["POST", "PUT", "DELETE", "TRACE", "PATCH"]) {
    const answer = await ask(method, "/");
    assert.equal(answer.status, 405, method);
    assert.equal(answer.headers.allow, "GET, HEAD");
  }
  const head = await ask("HEAD", "/");
  assert.equal(head.status, 200);
  assert.equal(head.body, "");
});

test("a port is a whole decimal number from 1 to 65535", () => {
  for (const port of ["", "-0", "0x4000", "1e4", "0", "65536", "80.0", " 80"]) {
    const run = spawnSync(process.execPath, [SERVE, dir, "--port", port], { encoding: "utf8", timeout: 10000 });
    assert.equal(run.status, 2, `--port '${port}': ${run.stderr}`);
    assert.match(run.stderr, /--port: expected a whole number from 1 to 65535/);
  }
});
