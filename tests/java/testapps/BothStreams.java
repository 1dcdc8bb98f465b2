package testapps;

/** Writes to both standard streams, so that each redirection can be observed separately. */
public final class BothStreams {
    public static void main(String[] args) {
        System.out.println("to out");
        System.err.println("to err");
        System.out.flush();
        System.err.flush();
    }
}
