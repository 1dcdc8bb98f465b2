package testapps;

import java.io.FileWriter;
import java.io.IOException;

/**
 * The usual shape of a server: main("run") starts a non-daemon worker thread and returns, so the JVM
 * lives on as long as the worker. main("stop"), entered from another thread, tells the worker to end.
 * A shutdown hook writes "shutdown-hook.txt" in the current directory, so a test can see that the JVM
 * ran it, whether the JVM ended through System.exit or after its last thread.
 */
public final class WorkerService {
    private static final Object LOCK = new Object();
    private static boolean stopRequested;

    public static void main(String[] args) {
        String command = args.length > 0 ? args[0] : "run";
        say(command + " called on thread: " + Thread.currentThread().getName());
        if (command.equals("stop")) {
            synchronized (LOCK) {
                stopRequested = true;
                LOCK.notifyAll();
            }
            return;
        }
        Runtime.getRuntime().addShutdownHook(new Thread(WorkerService::recordShutdown, "shutdown-hook"));
        Thread worker = new Thread(WorkerService::work, "worker");
        worker.setDaemon(false);
        worker.start();
        say("main returns");
    }

    // Bounded, so that a stop that never arrives shows as "worker timed out" instead of a hang.
    private static void work() {
        long deadline = System.currentTimeMillis() + 60000;
        boolean stopped;
        synchronized (LOCK) {
            while (!stopRequested && System.currentTimeMillis() < deadline) {
                try {
                    LOCK.wait(100);
                } catch (InterruptedException e) {
                    Thread.currentThread().interrupt();
                    break;
                }
            }
            stopped = stopRequested;
        }
        say(stopped ? "worker stopped on request" : "worker timed out");
    }

    private static void recordShutdown() {
        try (FileWriter out = new FileWriter("shutdown-hook.txt")) {
            out.write("shutdown hook ran\n");
        } catch (IOException e) {
            say("shutdown hook failed: " + e);
        }
    }

    private static void say(String line) {
        System.out.println(line);
        System.out.flush();
    }
}
