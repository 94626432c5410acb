// A project's development server for the detection tests: listens on 127.0.0.1 on a port the system picks,
// answers every request with a titled page and prints its ids once it listens. With DEVPROJECT_PORTS=2 it
// starts one more copy of itself, so the project listens on two ports.
const http = require('http');
const { spawn } = require('child_process');

const page = '<html><head><title>Dev project</title></head><body>ok</body></html>';
const server = http.createServer((request, response) => {
    response.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8' });
    response.end(page);
});
server.listen(0, '127.0.0.1', () => {
    console.log(`devproject pid=${process.pid} ppid=${process.ppid} port=${server.address().port}`);
});

if (process.env.DEVPROJECT_PORTS === '2') {
    spawn(process.execPath, [__filename], { stdio: 'inherit', env: { ...process.env, DEVPROJECT_PORTS: '1' } });
}
