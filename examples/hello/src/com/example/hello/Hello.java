package com.example.hello;

/** The demo application: shows that it runs in a real JVM and what the launcher handed it. */
public final class Hello {
    public static void main(String[] args) {
        System.out.println("Hello from Java, started by the launcher.");
        System.out.println("Java version: " + System.getProperty("java.version")
                + " (" + System.getProperty("java.vm.name") + ")");
        System.out.println("Maximum heap: " + Runtime.getRuntime().maxMemory() / (1024 * 1024) + " MB");
        System.out.println("Working directory: " + System.getProperty("user.dir"));
        System.out.println("Arguments (" + args.length + "):");
        for (int i = 0; i < args.length; i++) {
            System.out.println("  [" + i + "] " + args[i]);
        }
    }
}
