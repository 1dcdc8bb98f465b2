package testapps;

/** Leaves an exception pending for the caller of main. */
public final class Throws {
    public static void main(String[] args) {
        throw new IllegalStateException("thrown from main");
    }
}
